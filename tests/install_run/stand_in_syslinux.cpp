// Stands in for syslinux: records its command line in syslinux.args, prints
// syslinux.out on standard output and syslinux.err on standard error, and
// ends with the code in syslinux.code, "<exit code> [milliseconds to run]"
// (0 when there is none).
#include "stand_in_files.h"

int main()
{
    append_file(beside_program("syslinux.args"), std::string(GetCommandLineA()) + "\n");
    int code = 0, ms = 0;
    std::sscanf(read_file_or(beside_program("syslinux.code"), "0").c_str(), "%d %d", &code, &ms);
    if (ms > 0)
        Sleep(ms);
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), read_file_or(beside_program("syslinux.out"), ""));
    write_all(GetStdHandle(STD_ERROR_HANDLE), read_file_or(beside_program("syslinux.err"), ""));
    return code;
}
