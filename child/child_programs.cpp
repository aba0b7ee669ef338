#include "child/child_programs.h"

#include <cstring>

#include "frame/app.h"
#include "frame/exit_codes.h"

namespace {

constexpr SIZE_T TEXT_START_CAPACITY = 1024;
constexpr DWORD READ_PIECE = 1023; // one byte of the read block stays for the NUL

} // namespace

HANDLE run_captured(char* command_line, PROCESS_INFORMATION* process, int selector)
{
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;

    SECURITY_ATTRIBUTES inheritable;
    inheritable.nLength = sizeof inheritable;
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;
    HANDLE read_end;
    HANDLE write_end;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0))
        fail_api("CreatePipe");

    if (selector == 0)
        startup.hStdOutput = write_end;
    else
        startup.hStdError = write_end;

    if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, process))
        fail_api("CreateProcess");

    // Only the child may hold the write end, so the pipe breaks when it is gone.
    CloseHandle(write_end);
    return read_end;
}

char* read_pipe_text(HANDLE pipe)
{
    HANDLE heap = GetProcessHeap();
    SIZE_T capacity = TEXT_START_CAPACITY;
    char* text = static_cast<char*>(HeapAlloc(heap, 0, capacity));
    if (text == nullptr)
        ExitProcess(EXIT_OUT_OF_MEMORY);
    text[0] = '\0';
    SIZE_T used = 0;

    char piece[READ_PIECE + 1];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(pipe, piece, READ_PIECE, &n, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE)
                break;
            fail_api("ReadFile");
        }
        if (n == 0)
            break;
        piece[n] = '\0';
        if (used + n + 1 > capacity) {
            // n < capacity, so one doubling always makes room.
            capacity *= 2;
            char* larger = static_cast<char*>(HeapReAlloc(heap, 0, text, capacity));
            if (larger == nullptr)
                ExitProcess(EXIT_OUT_OF_MEMORY);
            text = larger;
        }
        std::memcpy(text + used, piece, n + 1);
        used += n;
    }
    CloseHandle(pipe);
    return text;
}

void take_exit_code(PROCESS_INFORMATION* process, DWORD* code)
{
    if (!GetExitCodeProcess(process->hProcess, code))
        fail_api("GetExitCodeProcess");
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
}

DWORD run_and_wait(char* command_line)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;

    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process))
        fail_api("CreateProcess");

    WaitForSingleObject(process.hProcess, INFINITE);
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
