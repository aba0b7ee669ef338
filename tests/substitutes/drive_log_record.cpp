// The installer's own process entry and main dialog, linked with this record
// in place of the drive log, which the main dialog writes first thing when it
// opens. It notes what the entry has set up by then, in startup_probe.txt
// beside the program, and ends the process:
//   error_mode N                  the process's error mode
//   planted_probe.dll loaded|not loaded
//                                 whether a DLL beside the program, which is
//                                 also the current folder, can still be loaded
//                                 by name
#include <windows.h>

#include <cstdio>
#include <string>

#include "disk/drive_log.h"

void write_drive_log()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string record_path(path);
    record_path.erase(record_path.find_last_of('\\') + 1);
    record_path += "startup_probe.txt";

    std::string record = "error_mode " + std::to_string(GetErrorMode()) + "\n";
    HMODULE planted = LoadLibraryA("planted_probe.dll");
    record +=
        std::string("planted_probe.dll ") + (planted != nullptr ? "loaded" : "not loaded") + "\n";
    std::FILE* out = std::fopen(record_path.c_str(), "wb");
    if (out != nullptr) {
        std::fwrite(record.data(), 1, record.size(), out);
        std::fclose(out);
    }
    ExitProcess(0);
}
