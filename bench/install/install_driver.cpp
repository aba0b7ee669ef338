// The Windows side of the installation bench.
//
//   install_driver.exe install INSTALLER IMAGE [WATCHED_NAME...]
//     Starts INSTALLER (a full path), names IMAGE and drive E:, presses Start
//     and samples the progress dialog every 20 ms until its button reads
//     Close. While the log's last line is the copy line of a WATCHED_NAME, it
//     counts how often the bar's position changes. Prints
//       install_s S      seconds from pressing Start to the Close button
//       boot_s S         of which from the syslinux.cfg line on (no part of reference A;
//                        as shown, and the log shows a line up to 40 ms after the
//                        worker handed it over, so this may read short)
//       bar_moves N T    bar changes, and seconds spent on the watched files
//       children N B G   child processes seen, the seconds they ran, and the
//                        seconds between one's end and the next one's start
//       gaps_ms G...     each of those gaps in milliseconds, in order
//       edges_ms L T     milliseconds from pressing Start to the first child's
//                        start, and from the last child's end to the moment
//                        the button was seen to read Close
//     The times are those the system keeps for each child process (creation
//     and exit, read with GetProcessTimes from a handle opened while the child
//     lives), so they do not depend on when the sampling saw it.
//   install_driver.exe run PROGRAM [ARGS...]
//     Starts PROGRAM (a full path) as the installer is started, with its own
//     folder as the current folder, waits for its end and prints "children"
//     as above.
// On a failure prints "error: ..." and exits with 1.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "expected_texts.h"
#include "installer_session.h"
#include "resources/resource_ids.h"

namespace {

// The bench's image is far larger than the tests' (RUN_MS).
constexpr DWORD RUN_LIMIT_MS = 300000;
constexpr DWORD SAMPLE_MS = 20;

double seconds_between(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
}

installer_session installer;
app_process& app = installer.app;

ULONGLONG filetime_value(FILETIME t)
{
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The children of one process, each held open from the first sample that sees
// it, so that its start and end times can be read after it has gone. A thread
// of its own samples every CHILD_SAMPLE_MS, apart from the dialog's sampling,
// which waits on the installer; a child that lives less than that may still
// be missed.
constexpr DWORD CHILD_SAMPLE_MS = 2;

struct child_watch {
    DWORD parent = 0;
    ULONGLONG since = 0;  // processes begun before this are an old holder of a reused id
    ULONGLONG closed = 0; // when the installer's button was seen to read Close; 0 for a program
    std::map<DWORD, HANDLE> seen;
    HANDLE thread = nullptr;
    volatile LONG stopping = 0;

    static DWORD WINAPI sampler(void* self)
    {
        auto* watch = static_cast<child_watch*>(self);
        while (InterlockedCompareExchange(&watch->stopping, 0, 0) == 0) {
            watch->sample();
            Sleep(CHILD_SAMPLE_MS);
        }
        return 0;
    }
    void start(DWORD parent_id)
    {
        parent = parent_id;
        thread = CreateThread(nullptr, 0, sampler, this, 0, nullptr);
    }
    void stop()
    {
        if (thread == nullptr)
            return;
        InterlockedExchange(&stopping, 1);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        thread = nullptr;
        sample();
    }

    void sample()
    {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return;
        PROCESSENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
            if (entry.th32ParentProcessID != parent || seen.count(entry.th32ProcessID) != 0)
                continue;
            HANDLE child =
                OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (child != nullptr)
                seen[entry.th32ProcessID] = child;
        }
        CloseHandle(snapshot);
    }

    // "children N B G" for the children that began after `since`.
    std::string report()
    {
        stop();
        std::vector<std::pair<ULONGLONG, ULONGLONG>> runs;
        for (auto& found : seen) {
            FILETIME created, exited, kernel, user;
            WaitForSingleObject(found.second, WAIT_MS);
            if (GetProcessTimes(found.second, &created, &exited, &kernel, &user) &&
                filetime_value(created) >= since)
                runs.emplace_back(filetime_value(created), filetime_value(exited));
            CloseHandle(found.second);
        }
        seen.clear();
        std::sort(runs.begin(), runs.end());
        double busy = 0, gaps = 0;
        std::string each = "gaps_ms";
        for (std::size_t i = 0; i < runs.size(); ++i) {
            busy += static_cast<double>(runs[i].second - runs[i].first) / 1e7;
            if (i > 0) {
                double gap =
                    (static_cast<double>(runs[i].first) - static_cast<double>(runs[i - 1].second)) /
                    1e7;
                gaps += gap;
                char ms[32];
                std::snprintf(ms, sizeof ms, " %.1f", gap * 1000);
                each += ms;
            }
        }
        char line[128];
        std::snprintf(line, sizeof line, "children %u %.3f %.3f\n",
                      static_cast<unsigned>(runs.size()), busy, gaps);
        std::string edges;
        if (closed != 0 && !runs.empty()) {
            char ms[64];
            std::snprintf(ms, sizeof ms, "edges_ms %.1f %.1f\n",
                          static_cast<double>(runs.front().first - since) / 1e4,
                          static_cast<double>(closed - runs.back().second) / 1e4);
            edges = ms;
        }
        return line + each + "\n" + edges;
    }
};

ULONGLONG now_filetime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return filetime_value(now);
}

[[noreturn]] void fail(const std::string& what)
{
    std::printf("error: %s\n", what.c_str());
    std::fflush(stdout);
    stop_app(&app);
    ExitProcess(1);
}

int install(const char* exe, const char* image, const std::vector<std::string>& names)
{
    std::vector<std::string> watched;
    for (const std::string& name : names)
        watched.push_back(copy_line(name));
    std::string boot = format_text(IDS_CREATING_SYSLINUX_CFG, 'E');

    if (!installer.open(exe))
        fail("no main dialog of " + std::string(exe));
    if (!installer.fill_in(image))
        fail("drive E: is not offered");
    HWND main = installer.main;

    child_watch children;
    children.since = now_filetime();
    children.start(app.pi.dwProcessId);
    LARGE_INTEGER pressed, now, boot_seen = {};
    QueryPerformanceCounter(&pressed);
    click(main, IDC_START);

    HWND progress = nullptr;
    std::string log;
    int moves = 0;
    double watched_s = 0;
    int in_watched = -1; // which watched file's line ends the log
    int last_position = 0;
    LARGE_INTEGER watched_since = {};
    for (;;) {
        QueryPerformanceCounter(&now);
        if (seconds_between(pressed, now) * 1000 > RUN_LIMIT_MS)
            fail("the run did not end: " + log);
        if (progress == nullptr) {
            progress = wait_dialog_titled(app.pi.dwProcessId, text(IDS_PROGRESS_TITLE), 0);
            if (progress == nullptr) {
                Sleep(SAMPLE_MS);
                continue;
            }
        }
        bool closed = control_text(progress, IDC_STOP_CLOSE) == text(IDS_CLOSE);
        QueryPerformanceCounter(&now);
        if (closed) {
            children.closed = now_filetime();
            break;
        }
        log = control_text(progress, IDC_LOG);
        int position =
            static_cast<int>(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETPOS, 0, 0));
        if (boot_seen.QuadPart == 0 && log.find(boot) != std::string::npos)
            boot_seen = now;
        int watching = -1;
        for (std::size_t i = 0; i < watched.size(); ++i)
            if (ends_with(log, watched[i]))
                watching = static_cast<int>(i);
        // A change counts for the file being extracted when the last sample was
        // taken: the bar's last move for a file comes just before its done text.
        if (in_watched >= 0 && position != last_position)
            ++moves;
        if (watching != in_watched) {
            if (in_watched >= 0)
                watched_s += seconds_between(watched_since, now);
            watched_since = now;
        }
        in_watched = watching;
        last_position = position;
        Sleep(SAMPLE_MS);
    }
    double install_s = seconds_between(pressed, now);
    double boot_s = boot_seen.QuadPart != 0 ? seconds_between(boot_seen, now) : 0;
    if (in_watched >= 0)
        watched_s += seconds_between(watched_since, now);

    // The last log line follows the button's change.
    wait_until(
        [&] {
            log = control_text(progress, IDC_LOG);
            return ends_with(log, text(IDS_SUCCEEDED)) || ends_with(log, text(IDS_INTERRUPTED));
        },
        WAIT_MS);
    if (!ends_with(log, text(IDS_SUCCEEDED)))
        fail("the run did not succeed: " + log);

    click(progress, IDC_STOP_CLOSE);
    wait_until([&] { return !IsWindow(progress); }, WAIT_MS);
    click(main, IDC_EXIT);
    wait_exit(&app, WAIT_MS);
    stop_app(&app);

    std::printf("install_s %.3f\nboot_s %.3f\nbar_moves %d %.3f\n%s", install_s, boot_s, moves,
                watched_s, children.report().c_str());
    std::fflush(stdout);
    return 0;
}

// As start_app starts the installer, without its wait for an input-idle
// program, which one without windows never becomes.
int run(int argc, char** argv)
{
    std::string program = argv[2];
    std::string folder = program.substr(0, program.find_last_of('\\'));
    std::string command = "\"" + program + "\"";
    for (int i = 3; i < argc; ++i)
        command += std::string(" \"") + argv[i] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    child_watch children;
    children.since = now_filetime();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &app.pi))
        fail("cannot start " + program);
    app.started = true;
    // Sampled as while the installer runs.
    children.start(app.pi.dwProcessId);
    DWORD begun = GetTickCount();
    while (WaitForSingleObject(app.pi.hProcess, SAMPLE_MS) == WAIT_TIMEOUT) {
        if (GetTickCount() - begun > RUN_LIMIT_MS)
            fail(program + " did not end");
    }
    stop_app(&app);
    std::printf("%s", children.report().c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "install" && argc >= 4)
        return install(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    if (mode == "run" && argc >= 3)
        return run(argc, argv);
    fail("usage: install_driver install INSTALLER IMAGE [WATCHED_NAME...] | run PROGRAM [ARGS...]");
}
