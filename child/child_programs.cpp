#include "child/child_programs.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>

#include "frame/app.h"
#include "frame/exit_codes.h"
#include "frame/plain_file.h"

namespace {

constexpr SIZE_T TEXT_START_CAPACITY = 1024;
constexpr DWORD READ_PIECE = 1024;

// Programs that are part of Windows, taken from the system folder. Every other
// program comes from the installer's folder.
struct system_program {
    const wchar_t* name;
    // 64-bit Windows has this one only in its own system folder, which a
    // 32-bit program sees redirected to the 32-bit one.
    bool native_only;
};
const system_program SYSTEM_PROGRAMS[] = {{L"chkdsk", false}, {L"bcdedit", true}};

// The system folder of the running Windows itself: on 64-bit Windows, where
// this 32-bit program sees SysWOW64 as System32, its alias Sysnative.
UINT native_system_folder(wchar_t* path, std::size_t size)
{
    using is_wow64_call = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto is_wow64 = reinterpret_cast<is_wow64_call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (is_wow64 == nullptr || !is_wow64(GetCurrentProcess(), &wow64) || !wow64)
        return GetSystemDirectoryW(path, static_cast<UINT>(size));
    UINT n = GetSystemWindowsDirectoryW(path, static_cast<UINT>(size));
    const wchar_t alias[] = L"\\Sysnative";
    if (n == 0 || n + std::size(alias) > size)
        return 0;
    std::wcscat(path, alias);
    return n + std::size(alias) - 1;
}

bool append_wide(wchar_t* path, std::size_t size, const wchar_t* text)
{
    std::size_t used = std::wcslen(path);
    if (used + std::wcslen(text) >= size)
        return false;
    std::wcscat(path, text);
    return true;
}

// The full path of the program that the first word of `command_line` names:
// never looked up in the current folder or on the PATH, where a planted copy
// would run with the installer's rights. A name without extension gets ".exe".
bool program_path(const wchar_t* command_line, wchar_t* path, std::size_t size)
{
    wchar_t name[TEXT_BUFFER_SIZE];
    std::size_t length = std::wcscspn(command_line, L" \t");
    if (length == 0 || length + std::size(L".exe") > std::size(name))
        return false;
    std::wmemcpy(name, command_line, length);
    name[length] = L'\0';
    const system_program* in_system = nullptr;
    for (const system_program& program : SYSTEM_PROGRAMS)
        if (lstrcmpiW(name, program.name) == 0)
            in_system = &program;
    if (std::wcschr(name, L'.') == nullptr)
        std::wcscat(name, L".exe");

    if (in_system != nullptr) {
        UINT n = in_system->native_only ? native_system_folder(path, size)
                                        : GetSystemDirectoryW(path, static_cast<UINT>(size));
        if (n == 0 || n >= size)
            return false;
    } else if (!installer_folder(path, size)) {
        return false;
    }
    return append_wide(path, size, L"\\") && append_wide(path, size, name);
}

// CreateProcess with the program's full path and the command line as the
// caller composed it. A failure leaves the last error as CreateProcess would
// (a missing program: ERROR_FILE_NOT_FOUND).
BOOL start_program(wchar_t* command_line, BOOL inherit, DWORD flags, STARTUPINFOW* startup,
                   PROCESS_INFORMATION* process)
{
    wchar_t program[TEXT_BUFFER_SIZE] = L"";
    if (!program_path(command_line, program, TEXT_BUFFER_SIZE)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return CreateProcessW(program, command_line, nullptr, nullptr, inherit, flags, nullptr, nullptr,
                          startup, process);
}

// A duplicate of the process handle of the child a Stop may end, with the
// right to end it only. Written by the worker when it starts or finishes such
// a child and by the user-interface thread when it ends it; whoever takes it
// out of here closes it, so it is never used after it was closed.
std::atomic<HANDLE> stoppable_child{nullptr};

// The null device, for a child's standard handles that bring or take
// nothing: never whatever the installer itself was started with.
HANDLE open_null_device()
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nothing =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, OPEN_EXISTING, 0, nullptr);
    if (nothing == INVALID_HANDLE_VALUE)
        fail_api("CreateFile");
    return nothing;
}

// A child's start-up record: nothing of the installer's own, these three
// standard handles, no window shown.
STARTUPINFOW hidden_start(HANDLE input, HANDLE output, HANDLE errors)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    return startup;
}

} // namespace

bool installer_folder(wchar_t* folder, std::size_t size)
{
    DWORD n = GetModuleFileNameW(nullptr, folder, static_cast<DWORD>(size));
    if (n == 0 || n >= size)
        return false;
    wchar_t* last = std::wcsrchr(folder, L'\\');
    if (last != nullptr)
        *last = L'\0';
    return true;
}

bool program_available(const wchar_t* name)
{
    wchar_t path[TEXT_BUFFER_SIZE] = L"";
    if (!program_path(name, path, TEXT_BUFFER_SIZE))
        return false;
    return is_plain_file(path);
}

struct pipe_collector {
    HANDLE pipe;
    HANDLE thread;
    char* text;
    // The thread and whoever started it; the last one to let go frees it all.
    std::atomic<int> holders;
};

namespace {

// Appends `n` bytes and a NUL to a text on the process heap that holds `used`
// bytes in `capacity`; a null text starts at 1024 bytes, and the capacity
// doubles as needed.
void append_heap_text(char** text, SIZE_T* used, SIZE_T* capacity, const char* piece, SIZE_T n)
{
    HANDLE heap = GetProcessHeap();
    if (*text == nullptr || *used + n + 1 > *capacity) {
        SIZE_T larger = *text != nullptr ? *capacity : TEXT_START_CAPACITY;
        while (*used + n + 1 > larger)
            larger *= 2;
        void* block =
            *text == nullptr ? HeapAlloc(heap, 0, larger) : HeapReAlloc(heap, 0, *text, larger);
        if (block == nullptr)
            ExitProcess(EXIT_OUT_OF_MEMORY);
        *text = static_cast<char*>(block);
        *capacity = larger;
    }
    std::memcpy(*text + *used, piece, n);
    (*text)[*used + n] = '\0';
    *used += n;
}

char* empty_text()
{
    char* text = nullptr;
    SIZE_T used = 0;
    SIZE_T capacity = 0;
    append_heap_text(&text, &used, &capacity, "", 0);
    return text;
}

// Everything read from `pipe` until no process holds its write end any more;
// closes `pipe`.
char* read_pipe_text(HANDLE pipe)
{
    // An empty text first, so that a pipe that brings nothing still gives one.
    char* text = empty_text();
    SIZE_T used = 0;
    SIZE_T capacity = HeapSize(GetProcessHeap(), 0, text);
    char piece[READ_PIECE];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(pipe, piece, READ_PIECE, &n, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE)
                break;
            fail_api("ReadFile");
        }
        if (n == 0)
            break;
        append_heap_text(&text, &used, &capacity, piece, n);
    }
    CloseHandle(pipe);
    return text;
}

void let_go(pipe_collector* collector)
{
    if (collector->holders.fetch_sub(1) != 1)
        return;
    if (collector->text != nullptr)
        HeapFree(GetProcessHeap(), 0, collector->text);
    CloseHandle(collector->thread);
    HeapFree(GetProcessHeap(), 0, collector);
}

DWORD WINAPI collect(void* param)
{
    auto* collector = static_cast<pipe_collector*>(param);
    collector->text = read_pipe_text(collector->pipe); // closes the pipe
    let_go(collector);
    return 0;
}

// Starts collecting everything `pipe` brings; the collector owns the pipe.
pipe_collector* collect_pipe(HANDLE pipe)
{
    void* place = HeapAlloc(GetProcessHeap(), 0, sizeof(pipe_collector));
    if (place == nullptr)
        ExitProcess(EXIT_OUT_OF_MEMORY);
    auto* collector = new (place) pipe_collector;
    collector->pipe = pipe;
    collector->text = nullptr;
    collector->holders = 2;
    collector->thread = CreateThread(nullptr, 0, collect, collector, 0, nullptr);
    if (collector->thread == nullptr)
        fail_api("CreateThread");
    return collector;
}

// Waits until no process holds the pipe's write end any more and gives what
// was collected; the collector is gone afterwards.
char* collected_text(pipe_collector* collector)
{
    WaitForSingleObject(collector->thread, INFINITE);
    char* text = collector->text;
    collector->text = nullptr; // the caller's now
    let_go(collector);
    return text;
}

// Gives the collector up without waiting, after its child was ended: the
// thread releases the pipe, the text and itself once the pipe breaks.
void abandon_collector(pipe_collector* collector)
{
    let_go(collector);
}

// Makes the child one that a Stop may end, and ends it at once when its run
// is already over: the user-interface thread clears the run before it looks
// for the child, so one of the two sees the other.
void make_stoppable(child_run* child, bool (*still_wanted)())
{
    HANDLE ender = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), child->process.hProcess, GetCurrentProcess(), &ender,
                         PROCESS_TERMINATE, FALSE, 0))
        return; // then it cannot be ended early and runs to its end
    HANDLE before = stoppable_child.exchange(ender);
    if (before != nullptr)
        CloseHandle(before);
    child->stoppable = true;
    if (!still_wanted())
        end_stoppable_child();
}

// Whether the user-interface thread ended the child; it cannot be ended
// from there any more.
bool ended_by_stop(child_run* child)
{
    if (!child->stoppable)
        return false;
    child->stoppable = false;
    HANDLE ender = stoppable_child.exchange(nullptr);
    if (ender != nullptr)
        CloseHandle(ender);
    return ender == nullptr; // taken by end_stoppable_child
}

// The one way a child's record ends: its code once it has ended, its handles closed.
DWORD close_child(child_run* child)
{
    // A child may close its output before it ends: its code is the one it
    // ends with, not 259.
    WaitForSingleObject(child->process.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(child->process.hProcess, &code))
        fail_api("GetExitCodeProcess");
    CloseHandle(child->process.hThread);
    CloseHandle(child->process.hProcess);
    return code;
}

} // namespace

void start_child(child_run* child, wchar_t* command_line, child_stream streams,
                 bool (*still_wanted)())
{
    *child = {};
    HANDLE nothing = open_null_device();
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (streams != child_stream::NONE) {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        if (!CreatePipe(&read_end, &write_end, &inheritable, 0))
            fail_api("CreatePipe");
        // The installer's own end is never handed on: a child holding it could
        // keep another child's pipe from breaking.
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    }
    bool output = streams == child_stream::OUTPUT || streams == child_stream::BOTH ||
                  streams == child_stream::OUTPUT_PIPE;
    bool errors = streams == child_stream::ERRORS || streams == child_stream::BOTH;
    STARTUPINFOW startup =
        hidden_start(nothing, output ? write_end : nothing, errors ? write_end : nothing);
    if (!start_program(command_line, TRUE, CREATE_NO_WINDOW, &startup, &child->process))
        fail_api("CreateProcess");
    // Only the child may hold the write end, so the pipe breaks when it is gone.
    if (write_end != nullptr)
        CloseHandle(write_end);
    CloseHandle(nothing);
    if (streams == child_stream::OUTPUT_PIPE)
        child->pipe = read_end;
    else if (read_end != nullptr)
        child->collector = collect_pipe(read_end);
    if (still_wanted != nullptr)
        make_stoppable(child, still_wanted);
}

bool child_ended_within(child_run* child, DWORD milliseconds)
{
    DWORD result = WaitForSingleObject(child->process.hProcess, milliseconds);
    if (result == WAIT_OBJECT_0)
        return true;
    if (result == WAIT_FAILED)
        Sleep(milliseconds);
    return false;
}

child_outcome finish_child(child_run* child)
{
    child_outcome outcome = {};
    outcome.output = child->collector != nullptr ? collected_text(child->collector) : empty_text();
    outcome.code = close_child(child);
    outcome.ended_early = ended_by_stop(child);
    return outcome;
}

child_outcome stop_child(child_run* child)
{
    TerminateProcess(child->process.hProcess, 1);
    if (child->collector != nullptr)
        abandon_collector(child->collector);
    child_outcome outcome = {};
    outcome.output = empty_text();
    outcome.code = close_child(child);
    ended_by_stop(child);
    outcome.ended_early = true;
    return outcome;
}

child_outcome run_child(wchar_t* command_line, child_stream streams, bool (*still_wanted)())
{
    child_run child;
    start_child(&child, command_line, streams, still_wanted);
    return finish_child(&child);
}

void free_outcome(child_outcome* outcome)
{
    HeapFree(GetProcessHeap(), 0, outcome->output);
    outcome->output = nullptr;
}

int64_t file_size_or_zero(const char* path)
{
    // No access rights asked: this open succeeds while another process writes the file.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // The whole 64-bit size: files of 4 GiB and more must not wrap.
    LARGE_INTEGER size;
    BOOL ok = GetFileSizeEx(file, &size);
    CloseHandle(file);
    if (!ok)
        return 0;
    return size.QuadPart;
}

void end_stoppable_child()
{
    HANDLE ender = stoppable_child.exchange(nullptr);
    if (ender == nullptr)
        return;
    TerminateProcess(ender, 1);
    CloseHandle(ender);
}
