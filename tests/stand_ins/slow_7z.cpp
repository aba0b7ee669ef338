// Stands in for 7z where a test needs a run that stays in progress: leaves
// 7z.started beside itself, then takes its time and fails. The test ends it
// sooner; the wait only bounds how long it can outlive a test that died.
#include <windows.h>

#include <string>

int main()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string marker(path);
    marker = marker.substr(0, marker.find_last_of('\\') + 1) + "7z.started";
    HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    Sleep(60000);
    return 2;
}
