// Stands between the installer and the real 7-Zip, which sits beside it as
// 7z_real.exe, and damages what was written as a drive that loses writes
// would: after the real one has extracted one file, an earlier file changes.
// Each line of 7z.damage beside it says "AFTER NAME ACTION ARGUMENT":
//   flip OFFSET    the byte at OFFSET of NAME is inverted
//   cut LENGTH     NAME is cut to LENGTH bytes
//   folder 0       NAME becomes a folder, which no one can read as a file
// Everything else, the listing and the read-back's stream included, is the
// real 7-Zip's alone.
#include <cstdlib>
#include <sstream>

#include "stand_in_files.h"

namespace {

void damage(const std::string& path, const std::string& action, long long argument)
{
    if (action == "folder") {
        SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide(path).c_str());
        CreateDirectoryW(wide(path).c_str(), nullptr);
        return;
    }
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER at;
    at.QuadPart = argument;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    if (action == "cut") {
        SetEndOfFile(file);
    } else if (action == "flip") {
        unsigned char byte = 0;
        DWORD n = 0;
        ReadFile(file, &byte, 1, &n, nullptr);
        byte = static_cast<unsigned char>(~byte);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        WriteFile(file, &byte, 1, &n, nullptr);
    }
    CloseHandle(file);
}

} // namespace

int main()
{
    std::wstring line = GetCommandLineW();
    std::size_t rest = line.find(L' ');
    std::wstring real = wide(beside_program("7z_real.exe"));
    std::wstring command =
        L"\"" + real + L"\"" + (rest == std::wstring::npos ? L"" : line.substr(rest));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child;
    if (!CreateProcessW(real.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child))
        return 9;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    std::string narrow = GetCommandLineA();
    std::size_t o = narrow.find(" -o");
    if (narrow.find(" e -y ") == std::string::npos || o == std::string::npos)
        return static_cast<int>(code);
    std::string folder = narrow.substr(o + 3, narrow.find(' ', o + 3) - o - 3);
    std::istringstream lines(read_file_or(beside_program("7z.damage"), ""));
    std::string after, name, action;
    long long argument = 0;
    while (lines >> after >> name >> action >> argument)
        if (after == last_quoted(narrow))
            damage(folder + name, action, argument);
    return static_cast<int>(code);
}
