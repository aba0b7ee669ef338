// A child program for the tests, driven by its arguments, one step each, in order:
//   out=N[/P]    write N bytes to standard output, in pieces of P bytes
//   err=N[/P]    the same on standard error
//   close-out    close standard output and go on running
//   file=PATH    create PATH for writing (others may only read it meanwhile)
//   fwrite=N     write N more bytes to that file
//   signal=NAME  set the named event NAME
//   await=NAME   wait (at most a minute) for the named event NAME
//   startup=PATH write "flags=F show=S" of the start-up information to PATH
//   handles=PATH write "in=T out=T err=T window=W" to PATH: each standard
//                handle's file type (0 none, 1 disk, 2 character device, 3
//                pipe) and whether the console has a window (0 or 1)
//   sleep=MS     sleep
//   exit=CODE    the exit code (default 0), any 32-bit value
// A step that fails ends the program with code 90 or above.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "emit_pattern.h"

namespace {

uint32_t written[3]; // bytes of each stream so far: the pattern goes on across steps

bool write_stream(HANDLE handle, int stream, uint32_t count, uint32_t piece)
{
    char block[8192];
    if (piece == 0 || piece > sizeof block)
        return false;
    while (count > 0) {
        uint32_t n = count < piece ? count : piece;
        for (uint32_t i = 0; i < n; ++i)
            block[i] = emit_byte(stream, written[stream] + i);
        DWORD done = 0;
        if (!WriteFile(handle, block, n, &done, nullptr) || done != n)
            return false;
        written[stream] += n;
        count -= n;
    }
    return true;
}

// "N" or "N/P" after the '='.
bool write_step(const char* value, HANDLE handle, int stream)
{
    char* end;
    unsigned long count = std::strtoul(value, &end, 10);
    unsigned long piece = count == 0 ? 1 : count;
    if (*end == '/')
        piece = std::strtoul(end + 1, &end, 10);
    if (*end != '\0')
        return false;
    return write_stream(handle, stream, count, piece);
}

const char* value_of(const char* arg, const char* key)
{
    std::size_t len = std::strlen(key);
    return std::strncmp(arg, key, len) == 0 && arg[len] == '=' ? arg + len + 1 : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    DWORD code = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int a = 1; a < argc; ++a) {
        const char* arg = argv[a];
        const char* v;
        if ((v = value_of(arg, "out"))) {
            if (!write_step(v, GetStdHandle(STD_OUTPUT_HANDLE), EMIT_STDOUT))
                return 90;
        } else if ((v = value_of(arg, "err"))) {
            if (!write_step(v, GetStdHandle(STD_ERROR_HANDLE), EMIT_STDERR))
                return 91;
        } else if (std::strcmp(arg, "close-out") == 0) {
            if (!CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE)))
                return 92;
        } else if ((v = value_of(arg, "file"))) {
            file = CreateFileA(v, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return 93;
        } else if ((v = value_of(arg, "fwrite"))) {
            if (file == INVALID_HANDLE_VALUE || !write_step(v, file, EMIT_FILE))
                return 94;
        } else if ((v = value_of(arg, "signal"))) {
            HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, v);
            if (event == nullptr || !SetEvent(event))
                return 95;
            CloseHandle(event);
        } else if ((v = value_of(arg, "await"))) {
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, v);
            if (event == nullptr || WaitForSingleObject(event, 60000) != WAIT_OBJECT_0)
                return 96;
            CloseHandle(event);
        } else if ((v = value_of(arg, "startup"))) {
            STARTUPINFOA startup;
            GetStartupInfoA(&startup);
            FILE* out = std::fopen(v, "w");
            if (out == nullptr)
                return 97;
            std::fprintf(out, "flags=%lu show=%u", static_cast<unsigned long>(startup.dwFlags),
                         static_cast<unsigned>(startup.wShowWindow));
            std::fclose(out);
        } else if ((v = value_of(arg, "handles"))) {
            FILE* out = std::fopen(v, "w");
            if (out == nullptr)
                return 97;
            std::fprintf(out, "in=%lu out=%lu err=%lu window=%d",
                         GetFileType(GetStdHandle(STD_INPUT_HANDLE)),
                         GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)),
                         GetFileType(GetStdHandle(STD_ERROR_HANDLE)),
                         GetConsoleWindow() != nullptr);
            std::fclose(out);
        } else if ((v = value_of(arg, "sleep"))) {
            Sleep(std::strtoul(v, nullptr, 10));
        } else if ((v = value_of(arg, "exit"))) {
            code = std::strtoul(v, nullptr, 0);
        } else {
            return 98;
        }
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    ExitProcess(code);
}
