// Starts a program that does not exist, through run_and_wait or, with the
// argument "captured", through run_captured. Either must end this process with
// code 3 after the failure box; reaching the end of main is a fault.
#include <cstring>

#include "child/child_programs.h"

int main(int argc, char** argv)
{
    wchar_t command_line[] = L"kavel_no_such_program_4711 --version";
    if (argc > 1 && std::strcmp(argv[1], "captured") == 0) {
        PROCESS_INFORMATION process;
        run_captured(command_line, &process, 0);
    } else {
        run_and_wait(command_line);
    }
    return 100;
}
