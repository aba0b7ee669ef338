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
#include "installer_session.h"
#include "resources/resource_ids.h"

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
    // Someone else started it: the session only finds and drives it.
    installer_session installer;
    wait_until([&] { return (installer.app.pi.dwProcessId = installer_process()) != 0; }, WAIT_MS);
    if (!installer.find_main()) {
        std::printf("no main dialog\n");
        return 1;
    }
    installer.fill_in(argv[1], argv[2][0]);
    if (argc < 4 || std::string(argv[3]) != "run")
        return 0;
    if (!installer.press_start())
        return 1;
    bool ended = installer.run_ended();
    Sleep(300);
    std::string log = control_text(installer.progress, IDC_LOG);
    std::printf("%s\n", ended ? "the run ended" : "the run did not end");
    return ended && log.find(text(IDS_SUCCEEDED)) != std::string::npos ? 0 : 1;
}
