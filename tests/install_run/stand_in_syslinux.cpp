// Stands in for syslinux: records its command line in syslinux.args, prints
// syslinux.out on standard output and syslinux.err on standard error, and
// ends with the code in syslinux.code (0 when there is none).
#include <cstdlib>

#include "stand_in_files.h"

int main()
{
    append_file(beside_program("syslinux.args"), std::string(GetCommandLineA()) + "\n");
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), read_file_or(beside_program("syslinux.out"), ""));
    write_all(GetStdHandle(STD_ERROR_HANDLE), read_file_or(beside_program("syslinux.err"), ""));
    return std::atoi(read_file_or(beside_program("syslinux.code"), "0").c_str());
}
