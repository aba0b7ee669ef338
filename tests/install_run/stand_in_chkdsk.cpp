// Stands in for chkdsk, which Wine lacks. Records its command line in
// chkdsk.args; chkdsk.code beside it holds "<exit code> [milliseconds to run]".
#include "stand_in_files.h"

int main()
{
    append_file(beside_program("chkdsk.args"), std::string(GetCommandLineA()) + "\n");
    int code = 0, ms = 0;
    std::sscanf(read_file_or(beside_program("chkdsk.code"), "0").c_str(), "%d %d", &code, &ms);
    if (ms > 0)
        Sleep(ms);
    return code;
}
