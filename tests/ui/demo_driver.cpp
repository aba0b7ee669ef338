// Fills in the installer's main dialog for a demonstration: the image path and
// the first drive whose entry starts with the given letter. With "run" it also
// presses Start and waits for the run to end, leaving the dialogs open.
// Usage: demo_driver IMAGE LETTER [run]
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "expected_texts.h"
#include "resources/resource_ids.h"
#include "ui_driver.h"

namespace {

// The installer's process: the last one started under that name.
DWORD installer_process()
{
    DWORD found = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "kavel-setup.exe") == 0)
            found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    DWORD pid = 0;
    wait_until([&] { return (pid = installer_process()) != 0; }, 30000);
    HWND main = wait_dialog_titled(pid, cp936(expected_text(IDS_MAIN_TITLE)), 30000);
    if (main == nullptr) {
        std::printf("no main dialog\n");
        return 1;
    }
    set_control_text(main, IDC_IMAGE_PATH, argv[1]);
    std::string drive = std::string(1, argv[2][0]) + ":";
    for (int i = 0; i < combo_count(main, IDC_DRIVE_LIST); ++i)
        if (combo_entry(main, IDC_DRIVE_LIST, i).rfind(drive, 0) == 0)
            select_combo(main, IDC_DRIVE_LIST, i);
    if (argc < 4 || std::string(argv[3]) != "run")
        return 0;

    click(main, IDC_START);
    HWND progress = wait_dialog_titled(pid, cp936(expected_text(IDS_PROGRESS_TITLE)), 30000);
    if (progress == nullptr)
        return 1;
    bool ended = wait_until(
        [&] { return control_text(progress, IDC_STOP_CLOSE) == cp936(expected_text(IDS_CLOSE)); },
        120000);
    Sleep(300);
    std::string log = control_text(progress, IDC_LOG);
    std::printf("%s\n", ended ? "the run ended" : "the run did not end");
    return ended && log.find(cp936(expected_text(IDS_SUCCEEDED))) != std::string::npos ? 0 : 1;
}
