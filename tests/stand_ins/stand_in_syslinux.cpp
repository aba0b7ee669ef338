// Stands in for syslinux: records its command line in syslinux.args, prints
// syslinux.out on standard output and syslinux.err on standard error, and
// ends with the code in syslinux.code, "<exit code> [milliseconds to run]"
// (0 when there is none).
#include "stand_in_files.h"

int main()
{
    int code = record_and_wait(beside_program("syslinux.args"), beside_program("syslinux.code"));
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), read_file_or(beside_program("syslinux.out"), ""));
    write_all(GetStdHandle(STD_ERROR_HANDLE), read_file_or(beside_program("syslinux.err"), ""));
    return code;
}
