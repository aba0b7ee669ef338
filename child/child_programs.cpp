#include "child/child_programs.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>

#include "frame/app.h"
#include "frame/exit_codes.h"

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

// A duplicate of the process handle of the read-only child the worker waits
// for, with the right to end it only. Whoever takes it out of here (the
// worker when its wait is over, the user-interface thread when it ends the
// child) closes it, so it is never used after it was closed.
std::atomic<HANDLE> read_only_child{nullptr};
// Set by the worker for its next run_and_wait, and what its watch found.
thread_local bool (*next_child_wanted)() = nullptr;
thread_local bool watching = false;
thread_local bool ended_early = false;

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
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HANDLE run_captured(wchar_t* command_line, PROCESS_INFORMATION* process, int selector)
{
    SECURITY_ATTRIBUTES inheritable;
    inheritable.nLength = sizeof inheritable;
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;
    HANDLE read_end;
    HANDLE write_end;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0))
        fail_api("CreatePipe");
    // The installer's own end is never handed on: a child holding it could
    // keep another child's pipe from breaking.
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    HANDLE nothing = open_null_device();
    STARTUPINFOW startup = hidden_start(nothing, selector != CAPTURE_ERRORS ? write_end : nothing,
                                        selector != CAPTURE_OUTPUT ? write_end : nothing);
    if (!start_program(command_line, TRUE, CREATE_NO_WINDOW, &startup, process))
        fail_api("CreateProcess");

    // Only the child may hold the write end, so the pipe breaks when it is gone.
    CloseHandle(write_end);
    CloseHandle(nothing);
    return read_end;
}

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

char* read_pipe_text(HANDLE pipe)
{
    // An empty text first, so that a pipe that brings nothing still gives one.
    char* text = nullptr;
    SIZE_T used = 0;
    SIZE_T capacity = 0;
    append_heap_text(&text, &used, &capacity, "", 0);

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

void take_exit_code(PROCESS_INFORMATION* process, DWORD* code)
{
    // A child may close its output before it ends: its code is the one it
    // ends with, not 259.
    WaitForSingleObject(process->hProcess, INFINITE);
    if (!GetExitCodeProcess(process->hProcess, code))
        fail_api("GetExitCodeProcess");
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
}

DWORD run_and_wait(wchar_t* command_line)
{
    HANDLE nothing = open_null_device();
    STARTUPINFOW startup = hidden_start(nothing, nothing, nothing);

    PROCESS_INFORMATION process;
    if (!start_program(command_line, TRUE, CREATE_NO_WINDOW, &startup, &process))
        fail_api("CreateProcess");
    CloseHandle(nothing);

    bool (*wanted)() = next_child_wanted;
    next_child_wanted = nullptr;
    ended_early = false;
    if (wanted != nullptr)
        watch_read_only_child(process.hProcess, wanted);
    WaitForSingleObject(process.hProcess, INFINITE);
    if (wanted != nullptr)
        unwatch_read_only_child();
    DWORD code;
    if (!GetExitCodeProcess(process.hProcess, &code))
        fail_api("GetExitCodeProcess");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

int wait_child(PROCESS_INFORMATION* process, DWORD milliseconds)
{
    DWORD result = WaitForSingleObject(process->hProcess, milliseconds);
    if (result == WAIT_OBJECT_0)
        return 1;
    if (result == WAIT_FAILED)
        Sleep(milliseconds);
    return 0;
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

struct pipe_collector {
    HANDLE pipe;
    HANDLE thread;
    char* text;
    // The thread and whoever started it; the last one to let go frees it all.
    std::atomic<int> holders;
};

namespace {

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

} // namespace

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

char* collected_text(pipe_collector* collector)
{
    WaitForSingleObject(collector->thread, INFINITE);
    char* text = collector->text;
    collector->text = nullptr; // the caller's now
    let_go(collector);
    return text;
}

void abandon_collector(pipe_collector* collector)
{
    let_go(collector);
}

void next_child_only_reads(bool (*wanted)())
{
    next_child_wanted = wanted;
}

void watch_read_only_child(HANDLE process, bool (*wanted)())
{
    ended_early = false;
    HANDLE ender = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &ender,
                         PROCESS_TERMINATE, FALSE, 0))
        return; // then it cannot be ended early and runs to its end
    HANDLE before = read_only_child.exchange(ender);
    if (before != nullptr)
        CloseHandle(before);
    watching = true;
    // A stop that came before the child could be seen from the other thread:
    // the user-interface thread clears the run before it looks here, so one of
    // the two sees the other.
    if (!wanted())
        end_read_only_child();
}

bool unwatch_read_only_child()
{
    if (!watching)
        return false;
    watching = false;
    HANDLE ender = read_only_child.exchange(nullptr);
    if (ender != nullptr)
        CloseHandle(ender);
    ended_early = ender == nullptr; // taken by end_read_only_child
    return ended_early;
}

bool last_child_ended_early()
{
    return ended_early;
}

void end_read_only_child()
{
    HANDLE ender = read_only_child.exchange(nullptr);
    if (ender == nullptr)
        return;
    TerminateProcess(ender, 1);
    CloseHandle(ender);
}
