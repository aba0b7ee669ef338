// Starts a program that does not exist, with no stream taken or, with the
// argument "captured", with its output collected. Either must end this process with
// code 3 after the failure box; reaching the end of main is a fault.
#include <cstring>

#include "child/child_programs.h"

int main(int argc, char** argv)
{
    wchar_t command_line[] = L"kavel_no_such_program_4711 --version";
    if (argc > 1 && std::strcmp(argv[1], "captured") == 0) {
        run_child(command_line, child_stream::OUTPUT);
    } else {
        run_child(command_line, child_stream::NONE);
    }
    return 100;
}
