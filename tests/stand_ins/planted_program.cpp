// A program someone left in a folder the installer must never start programs
// from (the image's folder, the current folder): records its own path and
// command line in planted.log beside itself, and ends with 0 as a real
// chkdsk, 7z or syslinux that found nothing wrong would.
#include "stand_in_files.h"

int main()
{
    wchar_t self[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    append_file(beside_program("planted.log"),
                utf8(self) + ": " + std::string(GetCommandLineA()) + "\n");
    return 0;
}
