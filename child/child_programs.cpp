#include "child/child_programs.h"

#include <cstring>
#include <cwchar>

#include "frame/app.h"
#include "frame/exit_codes.h"

namespace {

constexpr SIZE_T TEXT_START_CAPACITY = 1024;
constexpr DWORD READ_PIECE = 1023; // one byte of the read block stays for the NUL

// Programs that are part of Windows, taken from the system folder. Every other
// program comes from the installer's folder.
const char* const SYSTEM_PROGRAMS[] = {"chkdsk"};

bool append_wide(wchar_t* path, std::size_t size, const char* text)
{
    std::size_t used = std::wcslen(path);
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, path + used, static_cast<int>(size - used));
    return n > 0;
}

// The full path of the program that the first word of `command_line` names:
// never looked up in the current folder or on the PATH, where a planted copy
// would run with the installer's rights. A name without extension gets ".exe".
bool program_path(const char* command_line, wchar_t* path, std::size_t size)
{
    char name[TEXT_BUFFER_SIZE];
    std::size_t length = std::strcspn(command_line, " \t");
    if (length == 0 || length + sizeof ".exe" > sizeof name)
        return false;
    std::memcpy(name, command_line, length);
    name[length] = '\0';
    bool in_system = false;
    for (const char* program : SYSTEM_PROGRAMS)
        in_system = in_system || lstrcmpiA(name, program) == 0;
    if (std::strchr(name, '.') == nullptr)
        std::strcat(name, ".exe");

    if (in_system) {
        UINT n = GetSystemDirectoryW(path, static_cast<UINT>(size));
        if (n == 0 || n >= size)
            return false;
    } else if (!installer_folder(path, size)) {
        return false;
    }
    return append_wide(path, size, "\\") && append_wide(path, size, name);
}

// CreateProcess with the program's full path and the command line as the
// caller composed it, widened from the ANSI code page, so that a folder whose
// name that code page cannot spell still works. A failure leaves the last
// error as CreateProcess would (a missing program: ERROR_FILE_NOT_FOUND).
BOOL start_program(char* command_line, BOOL inherit, DWORD flags, STARTUPINFOW* startup,
                   PROCESS_INFORMATION* process)
{
    wchar_t program[TEXT_BUFFER_SIZE] = L"";
    wchar_t line[TEXT_BUFFER_SIZE];
    if (!program_path(command_line, program, TEXT_BUFFER_SIZE) ||
        MultiByteToWideChar(CP_ACP, 0, command_line, -1, line, TEXT_BUFFER_SIZE) == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return CreateProcessW(program, line, nullptr, nullptr, inherit, flags, nullptr, nullptr,
                          startup, process);
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

HANDLE run_captured(char* command_line, PROCESS_INFORMATION* process, int selector)
{
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
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

    if (!start_program(command_line, TRUE, 0, &startup, process))
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
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;

    PROCESS_INFORMATION process;
    if (!start_program(command_line, FALSE, CREATE_NEW_CONSOLE, &startup, &process))
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
