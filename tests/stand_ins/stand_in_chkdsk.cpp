// Stands in for chkdsk, which Wine lacks. It lives where the installer takes
// chkdsk from, the system folder (tests/wine/put-stand-in-chkdsk.sh puts it
// there), and works with files beside the program that started it: records
// its command line in chkdsk.args; chkdsk.code holds "<exit code>
// [milliseconds to run]".
#include "stand_in_files.h"

int main()
{
    return record_and_wait(beside_parent("chkdsk.args"), beside_parent("chkdsk.code"));
}
