// Stands in for chkdsk, which Wine lacks. It lives where the installer takes
// chkdsk from, the system folder (tests/wine/put-stand-in-chkdsk.sh puts it
// there), and works with files beside the program that started it: records
// its command line in chkdsk.args; chkdsk.code holds "<exit code>
// [milliseconds to run]".
#include "stand_in_files.h"

int main()
{
    append_file(beside_parent("chkdsk.args"), std::string(GetCommandLineA()) + "\n");
    int code = 0, ms = 0;
    std::sscanf(read_file_or(beside_parent("chkdsk.code"), "0").c_str(), "%d %d", &code, &ms);
    if (ms > 0)
        Sleep(ms);
    return code;
}
