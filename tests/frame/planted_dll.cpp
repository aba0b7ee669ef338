// A DLL someone left beside the program or in its current folder. It does
// nothing: the test only asks whether the program could load it.
#include <windows.h>

extern "C" __declspec(dllexport) int planted_probe_answer()
{
    return 42;
}
