// One timed installation through the installer's own dialogs onto E:.
//
//   install_driver.exe INSTALLER IMAGE [WATCHED_NAME...]
//
// Starts INSTALLER (a full path), names IMAGE and drive E:, presses Start and
// samples the progress dialog every 20 ms until its button reads Close. While
// the log's last line is the copy line of a WATCHED_NAME, it counts how often
// the bar's position changes. Prints
//   install_s S        seconds from pressing Start to the Close button
//   bar_moves N T      bar changes and seconds spent on the watched files
// or "error: ..." and exits with 1.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "ui_driver.h"

namespace {

constexpr DWORD DIALOG_MS = 30000;
constexpr double RUN_LIMIT_S = 300;
constexpr DWORD SAMPLE_MS = 20;

std::string text(int id)
{
    return cp936(expected_text(id));
}

// The log's label while `name` is being extracted onto E:.
std::string copy_line(const std::string& name)
{
    char line[2048];
    std::snprintf(line, sizeof line, text(29).c_str(), 'E', "kavel\\", name.c_str());
    return line;
}

bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

double seconds_between(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
}

app_process app;

[[noreturn]] void fail(const std::string& what)
{
    std::printf("error: %s\n", what.c_str());
    std::fflush(stdout);
    stop_app(&app);
    ExitProcess(1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        fail("usage: install_driver INSTALLER IMAGE [WATCHED_NAME...]");
    std::vector<std::string> watched;
    for (int i = 3; i < argc; ++i)
        watched.push_back(copy_line(argv[i]));

    if (!start_app(&app, argv[1]))
        fail(std::string("cannot start ") + argv[1]);
    HWND main = wait_dialog_titled(app.pi.dwProcessId, text(1), DIALOG_MS);
    if (main == nullptr)
        fail("no main dialog");
    set_control_text(main, 1004, argv[2]);
    int entry = -1;
    for (int i = 0; i < combo_count(main, 1006); ++i)
        if (combo_entry(main, 1006, i).rfind("E:", 0) == 0)
            entry = i;
    if (entry < 0)
        fail("drive E: is not offered");
    select_combo(main, 1006, entry);

    LARGE_INTEGER pressed, now;
    QueryPerformanceCounter(&pressed);
    click(main, 1009);

    HWND progress = nullptr;
    std::string log;
    int moves = 0;
    double watched_s = 0;
    int in_watched = -1; // which watched file's line ends the log
    int last_position = 0;
    LARGE_INTEGER watched_since = {};
    for (;;) {
        QueryPerformanceCounter(&now);
        if (seconds_between(pressed, now) > RUN_LIMIT_S)
            fail("the run did not end: " + log);
        if (progress == nullptr) {
            progress = wait_dialog_titled(app.pi.dwProcessId, text(14), 0);
            if (progress == nullptr) {
                Sleep(SAMPLE_MS);
                continue;
            }
        }
        bool closed = control_text(progress, 1003) == text(16);
        QueryPerformanceCounter(&now);
        if (closed)
            break;
        log = control_text(progress, 1001);
        int position = static_cast<int>(SendDlgItemMessageA(progress, 1002, PBM_GETPOS, 0, 0));
        int watching = -1;
        for (std::size_t i = 0; i < watched.size(); ++i)
            if (ends_with(log, watched[i]))
                watching = static_cast<int>(i);
        if (watching != in_watched) {
            if (in_watched >= 0)
                watched_s += seconds_between(watched_since, now);
            watched_since = now;
        } else if (watching >= 0 && position != last_position) {
            ++moves;
        }
        in_watched = watching;
        last_position = position;
        Sleep(SAMPLE_MS);
    }
    double install_s = seconds_between(pressed, now);
    if (in_watched >= 0)
        watched_s += seconds_between(watched_since, now);

    // The last log line follows the button's change.
    wait_until([&] {
        log = control_text(progress, 1001);
        return ends_with(log, text(37)) || ends_with(log, text(38));
    },
               DIALOG_MS);
    if (!ends_with(log, text(37)))
        fail("the run did not succeed: " + log);

    click(progress, 1003);
    wait_until([&] { return !IsWindow(progress); }, DIALOG_MS);
    click(main, 1010);
    wait_exit(&app, DIALOG_MS);
    stop_app(&app);

    std::printf("install_s %.3f\nbar_moves %d %.3f\n", install_s, moves, watched_s);
    std::fflush(stdout);
    return 0;
}
