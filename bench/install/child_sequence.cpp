// The floor of an installation run: the installer's child programs with the
// installer's command lines and start-up flags, started one after the other,
// each waited for, and nothing else (no dialogs, no polling, no bar).
//
//   child_sequence.exe RESULT seq IMAGE LETTER NAME...  "7z l", "chkdsk", one "7z e" per NAME,
//                                                       "syslinux -f"
//   child_sequence.exe RESULT x IMAGE LETTER            one "7z x" of the same selection
//
// Built as a GUI program, as the installer is, so that every console child gets
// a console of its own exactly as under the installer; and, like the installer,
// it is to be started by a Windows program (install_driver run), as a program
// started from the Unix side passes Unix handles on to its children, which
// makes them slower. Writes the seconds from the first start to the last end
// to the file RESULT, or "error: ..." and exits with 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../hidden_pipe.h"

namespace {

const char* result_path = "child_sequence.out";

void put_result(const std::string& text)
{
    std::FILE* out = std::fopen(result_path, "w");
    if (out == nullptr)
        std::exit(2);
    std::fputs(text.c_str(), out);
    std::fclose(out);
}

[[noreturn]] void fail(const std::string& what)
{
    DWORD error = GetLastError();
    put_result("error: " + what + " (code " + std::to_string(error) + ")\n");
    std::exit(1);
}

// Started as the installer starts 7z and syslinux (hidden_pipe.h); returns the
// pipe's read end.
HANDLE start_captured(std::string command, PROCESS_INFORMATION* child, bool errors = false)
{
    STARTUPINFOA startup;
    HANDLE read_end;
    HANDLE write_end;
    if (!hidden_pipe_startup(&startup, &read_end, &write_end, errors))
        fail("CreatePipe");
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        child))
        fail("CreateProcess " + command);
    CloseHandle(write_end);
    return read_end;
}

DWORD wait_and_close(PROCESS_INFORMATION* child)
{
    WaitForSingleObject(child->hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(child->hProcess, &code))
        fail("GetExitCodeProcess");
    CloseHandle(child->hThread);
    CloseHandle(child->hProcess);
    return code;
}

// Everything the pipe brings until the child lets go of it.
std::string read_to_end(HANDLE pipe)
{
    char piece[1024];
    DWORD n = 0;
    std::string text;
    while (ReadFile(pipe, piece, sizeof piece, &n, nullptr) && n > 0)
        text.append(piece, n);
    CloseHandle(pipe);
    return text;
}

// The listing: read to its end, as the installer reads it, then the exit code.
void run_listing(const std::string& command)
{
    PROCESS_INFORMATION child;
    std::string text = read_to_end(start_captured(command, &child));
    if (wait_and_close(&child) != 0 || text.find(" files") == std::string::npos)
        fail("listing: " + text);
}

// The boot loader: its standard error read to the end, then the exit code.
void run_boot_loader(const std::string& command)
{
    PROCESS_INFORMATION child;
    std::string errors = read_to_end(start_captured(command, &child, true));
    if (wait_and_close(&child) != 0)
        fail(command + ": " + errors);
}

// An extraction: the pipe is not read while the child runs (its output is a
// few lines), and it is closed after the end.
void run_extraction(const std::string& command)
{
    PROCESS_INFORMATION child;
    HANDLE pipe = start_captured(command, &child);
    DWORD code = wait_and_close(&child);
    CloseHandle(pipe);
    if (code != 0)
        fail(command);
}

// Hidden new console, no handles passed on: the installer's way of starting chkdsk.
void run_check(std::string command)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &child))
        fail("CreateProcess " + command);
    if (wait_and_close(&child) != 0)
        fail(command);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        result_path = argv[1];
    if (argc < 5 || (std::string(argv[2]) != "seq" && std::string(argv[2]) != "x"))
        fail("usage: child_sequence RESULT seq|x IMAGE LETTER [NAME...]");
    std::string mode = argv[2];
    std::string image = argv[3];
    char letter = argv[4][0];
    std::string target = std::string(1, letter) + ":\\kavel\\";
    std::vector<std::string> names(argv + 5, argv + argc);

    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (mode == "seq") {
        run_listing("7z l \"" + image + "\" *.sfs vmlinuz initrd.gz");
        run_check(std::string("chkdsk ") + letter + ":");
        for (const std::string& name : names)
            run_extraction("7z e -y -o" + target + " \"" + image + "\" \"" + name + "\"");
        run_boot_loader(std::string("syslinux -f ") + letter + ":");
    } else {
        run_extraction("7z x -y -o" + target + " \"" + image + "\" *.sfs vmlinuz initrd.gz");
    }
    QueryPerformanceCounter(&end);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f\n",
                  static_cast<double>(end.QuadPart - begin.QuadPart) /
                      static_cast<double>(frequency.QuadPart));
    put_result(seconds);
    return 0;
}
