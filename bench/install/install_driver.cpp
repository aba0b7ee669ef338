// The Windows side of the installation bench.
//
//   install_driver.exe install INSTALLER IMAGE
//     Starts INSTALLER (a full path), names IMAGE and drive E:, presses Start
//     and looks every 20 ms, without a message to the installer, at the
//     system's copy of its button's label until it reads Close. Prints
//       install_s S      seconds from pressing Start to the Close button
//       children N B G   child processes seen, the seconds they ran, and the
//                        seconds between one's end and the next one's start
//       gaps_ms G...     each of those gaps in milliseconds, in order
//       edges_ms L T B   milliseconds from pressing Start to the first child's
//                        start, from the last child's end to the moment the
//                        button was seen to read Close, and from the last
//                        7z child's end to that moment: the boot-loader
//                        set-up, which reference A does not do
//     The times are those the system keeps for each child process (creation
//     and exit, read with GetProcessTimes from a handle opened as the child
//     starts), so they do not depend on any sampling.
//   install_driver.exe watch INSTALLER IMAGE [WATCHED_NAME...]
//     As install, and also reads the log and the bar every 20 ms. Reading
//     them wakes the installer's dialog 100 times a second, which made a
//     run some 15 % slower, so these runs are not the timed ones. While the
//     log's last line is the copy line of a WATCHED_NAME, it counts how
//     often the bar's position changes. Prints, besides the above,
//       bar_moves N T    bar changes, and seconds spent on the watched files
//   install_driver.exe run PROGRAM [ARGS...]
//     Starts PROGRAM (a full path) as the installer is started, with its own
//     folder as the current folder, waits for its end and prints "children"
//     as above.
// On a failure prints "error: ..." and exits with 1.
#include <windows.h>
#include <commctrl.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
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

[[noreturn]] void fail(const std::string& what);

ULONGLONG filetime_value(FILETIME t)
{
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The children of one process, each held open from the moment the system
// reports it, so that its start and end times can be read after it has gone.
// The process is put into a job whose completion port names each process
// that joins it, its children among them; a thread of its own waits on the
// port. Nothing is polled, so the watch costs the watched run nothing while
// no process starts (a snapshot of all processes every 2 ms cost the bench
// about a quarter of one core, in the installer's runs and A's alike).
constexpr ULONG_PTR STOP_KEY = 1;

struct child_watch {
    DWORD parent = 0;
    ULONGLONG since = 0;  // processes begun before this are an old holder of a reused id
    ULONGLONG closed = 0; // when the installer's button was seen to read Close; 0 for a program
    std::map<DWORD, HANDLE> seen;
    HANDLE job = nullptr;
    HANDLE port = nullptr;
    HANDLE thread = nullptr;

    static DWORD WINAPI waiter(void* self)
    {
        auto* watch = static_cast<child_watch*>(self);
        DWORD message;
        ULONG_PTR key;
        LPOVERLAPPED value;
        while (GetQueuedCompletionStatus(watch->port, &message, &key, &value, INFINITE) &&
               key != STOP_KEY) {
            if (message == JOB_OBJECT_MSG_NEW_PROCESS)
                watch->take(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(value)));
        }
        return 0;
    }
    // The process must not have started a child yet.
    void start(HANDLE process, DWORD parent_id)
    {
        parent = parent_id;
        job = CreateJobObjectW(nullptr, nullptr);
        port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT link = {job, port};
        if (job == nullptr || port == nullptr ||
            !SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &link,
                                     sizeof link) ||
            !AssignProcessToJobObject(job, process))
            fail("cannot watch the children of process " + std::to_string(parent_id));
        thread = CreateThread(nullptr, 0, waiter, this, 0, nullptr);
    }
    void stop()
    {
        if (thread == nullptr)
            return;
        PostQueuedCompletionStatus(port, 0, STOP_KEY, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(port);
        CloseHandle(job);
        thread = nullptr;
    }

    // A process of the job: kept when it is a child of the watched process
    // (the job holds grandchildren too, such as a console host).
    void take(DWORD id)
    {
        if (id == parent || seen.count(id) != 0)
            return;
        HANDLE child = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id);
        if (child == nullptr)
            return;
        PROCESS_BASIC_INFORMATION basics = {};
        if (NtQueryInformationProcess(child, ProcessBasicInformation, &basics, sizeof basics,
                                      nullptr) == 0 &&
            basics.InheritedFromUniqueProcessId == parent)
            seen[id] = child;
        else
            CloseHandle(child);
    }

    // Asked once the process has run: as the system reports its start, it
    // has no image yet.
    static bool is_archiver(HANDLE process)
    {
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!QueryFullProcessImageNameW(process, 0, image, &size))
            return false;
        const wchar_t* name = wcsrchr(image, L'\\');
        return lstrcmpiW(name != nullptr ? name + 1 : image, L"7z.exe") == 0;
    }

    // "children N B G" for the children that began after `since`.
    std::string report()
    {
        stop();
        struct child_run {
            ULONGLONG created, exited;
            bool archiver;
            bool operator<(const child_run& other) const { return created < other.created; }
        };
        std::vector<child_run> runs;
        for (auto& found : seen) {
            FILETIME created, exited, kernel, user;
            WaitForSingleObject(found.second, WAIT_MS);
            if (GetProcessTimes(found.second, &created, &exited, &kernel, &user) &&
                filetime_value(created) >= since)
                runs.push_back(
                    {filetime_value(created), filetime_value(exited), is_archiver(found.second)});
            CloseHandle(found.second);
        }
        seen.clear();
        std::sort(runs.begin(), runs.end());
        double busy = 0, gaps = 0;
        ULONGLONG last_archiver_end = 0;
        std::string each = "gaps_ms";
        for (std::size_t i = 0; i < runs.size(); ++i) {
            busy += static_cast<double>(runs[i].exited - runs[i].created) / 1e7;
            if (runs[i].archiver)
                last_archiver_end = runs[i].exited;
            if (i > 0) {
                double gap = (static_cast<double>(runs[i].created) -
                              static_cast<double>(runs[i - 1].exited)) /
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
        if (closed != 0 && !runs.empty() && last_archiver_end != 0) {
            char ms[96];
            std::snprintf(ms, sizeof ms, "edges_ms %.1f %.1f %.1f\n",
                          static_cast<double>(runs.front().created - since) / 1e4,
                          static_cast<double>(closed - runs.back().exited) / 1e4,
                          static_cast<double>(closed - last_archiver_end) / 1e4);
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

void fail(const std::string& what)
{
    std::printf("error: %s\n", what.c_str());
    std::fflush(stdout);
    stop_app(&app);
    ExitProcess(1);
}

// The button's label as the system keeps it for a window: read without a
// message, so the sampling does not wake the installer's dialog for it.
std::string button_label(HWND dialog)
{
    wchar_t label[64] = L"";
    GetWindowTextW(GetDlgItem(dialog, IDC_STOP_CLOSE), label, 64);
    char narrow[128] = "";
    WideCharToMultiByte(936, 0, label, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

int install(const char* exe, const char* image, const std::vector<std::string>& names, bool watch)
{
    std::vector<std::string> watched;
    for (const std::string& name : names)
        watched.push_back(copy_line(name));

    if (!installer.open(exe))
        fail("no main dialog of " + std::string(exe));
    if (!installer.fill_in(image))
        fail("drive E: is not offered");
    HWND main = installer.main;

    child_watch children;
    children.since = now_filetime();
    children.start(app.pi.hProcess, app.pi.dwProcessId);
    LARGE_INTEGER pressed, now;
    QueryPerformanceCounter(&pressed);
    click(main, IDC_START);

    HWND progress = nullptr;
    std::string log;
    int moves = 0;
    double watched_s = 0;
    int in_watched = -1; // which watched file's line ends the log
    int last_position = 0;
    LARGE_INTEGER watched_since = {};
    DWORD_PTR log_length = 0;
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
        bool closed = button_label(progress) == text(IDS_CLOSE);
        QueryPerformanceCounter(&now);
        if (closed) {
            children.closed = now_filetime();
            break;
        }
        if (!watch) {
            Sleep(SAMPLE_MS);
            continue;
        }
        // The log is fetched whole only when it has grown.
        DWORD_PTR length = 0;
        SendMessageTimeoutW(GetDlgItem(progress, IDC_LOG), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                            WAIT_MS, &length);
        if (length != log_length) {
            log = control_text(progress, IDC_LOG);
            log_length = length;
        }
        int position =
            static_cast<int>(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETPOS, 0, 0));
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

    std::printf("install_s %.3f\n", install_s);
    if (watch)
        std::printf("bar_moves %d %.3f\n", moves, watched_s);
    std::printf("%s", children.report().c_str());
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
    // Held until it is watched, as the installer starts no child before Start.
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder.c_str(), &startup, &app.pi))
        fail("cannot start " + program);
    app.started = true;
    children.start(app.pi.hProcess, app.pi.dwProcessId);
    ResumeThread(app.pi.hThread);
    if (WaitForSingleObject(app.pi.hProcess, RUN_LIMIT_MS) != WAIT_OBJECT_0)
        fail(program + " did not end");
    stop_app(&app);
    std::printf("%s", children.report().c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if ((mode == "install" || mode == "watch") && argc >= 4)
        return install(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc),
                       mode == "watch");
    if (mode == "run" && argc >= 3)
        return run(argc, argv);
    fail("usage: install_driver install|watch INSTALLER IMAGE [WATCHED_NAME...] | run PROGRAM "
         "[ARGS...]");
}
