#include "install/boot_setup.h"

#include <windows.h>

#include <cstdio>

#include "child/child_programs.h"
#include "disk/drive_class.h"
#include "disk/grub_device.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "install/boot_files.h"
#include "install/progress_dialog.h"
#include "install/run_steps.h"

namespace {

// Read-only, hidden and system, as the boot loader's own files are kept.
constexpr DWORD LOADER_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

const char GRLDR_PATH[] = "C:\\GRLDR";
const char MENU_PATH[] = "C:\\menu.lst";
const char BOOT_INI_PATH[] = "C:\\boot.ini";

// The relative names grldr and syslinux.cfg then name the files beside the
// installer. Wide: the ANSI code page may not spell the folder's name.
void enter_installer_folder()
{
    wchar_t folder[TEXT_BUFFER_SIZE] = L"";
    if (!installer_folder(folder, TEXT_BUFFER_SIZE) || !SetCurrentDirectoryW(folder))
        fail_api("SetCurrentDirectory");
}

// A copy that failed: the outcome, the system's reason, and the end of the run.
void abandon_failed_copy()
{
    DWORD error = GetLastError();
    log_string(18);
    SetLastError(error);
    log_append(last_error_text());
    log_append("\r\n");
    abandon_run();
}

// Logs the outcome of a boot-file edit; false when the run ends there.
bool edit_done(int result)
{
    if (result == BOOT_FILE_OK)
        return true;
    log_string(result == BOOT_FILE_CANNOT_OPEN ? 35 : 18);
    abandon_run();
    return false;
}

void finish()
{
    if (!run_goes_on()) {
        // Stopped after the last check: the work is complete, the run is not.
        log_string(38);
        return;
    }
    log_string(37);
    end_run();
}

void set_up_grub4dos(char letter)
{
    enter_installer_folder();
    log_string(33);
    const char* found = grub_device_of_drive(letter);
    if (found == nullptr) {
        log_string(18);
        abandon_run();
        return;
    }
    // Kept: the second naming below may fail where this one did not.
    char device[TEXT_BUFFER_SIZE];
    compose_text(device, sizeof device, "%s", found);
    log_string(20);

    char label[TEXT_BUFFER_SIZE];
    std::snprintf(label, sizeof label, load_res_string(29), 'C', "", "GRLDR");
    log_append(label);
    SetFileAttributesA(GRLDR_PATH, FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA("grldr", GRLDR_PATH, FALSE)) {
        abandon_failed_copy();
        return;
    }
    SetFileAttributesA(GRLDR_PATH, LOADER_ATTRIBUTES);
    log_string(20);
    set_progress(95);
    if (stop_point())
        return;

    log_string(34);
    SetFileAttributesA(MENU_PATH, FILE_ATTRIBUTE_NORMAL);
    const char* again = grub_device_of_drive(letter);
    if (!edit_done(append_menu_entry(MENU_PATH, again != nullptr ? again : device)))
        return;
    SetFileAttributesA(MENU_PATH, LOADER_ATTRIBUTES);
    log_string(20);
    if (stop_point())
        return;

    log_string(36);
    SetFileAttributesA(BOOT_INI_PATH, FILE_ATTRIBUTE_NORMAL);
    if (!edit_done(set_boot_timeout(BOOT_INI_PATH)) ||
        !edit_done(append_boot_ini_entry(BOOT_INI_PATH)))
        return;
    SetFileAttributesA(BOOT_INI_PATH, LOADER_ATTRIBUTES);
    log_string(20);
    set_progress(100);
    finish();
}

void set_up_syslinux(char letter)
{
    enter_installer_folder();
    char label[TEXT_BUFFER_SIZE];
    std::snprintf(label, sizeof label, load_res_string(31), letter);
    log_append(label);
    char target[16];
    compose_text(target, sizeof target, "%c:\\syslinux.cfg", letter);
    if (!CopyFileA("syslinux.cfg", target, FALSE)) {
        abandon_failed_copy();
        return;
    }
    log_string(20);
    set_progress(95);
    if (stop_point())
        return;

    log_string(32);
    char command[32];
    compose_text(command, sizeof command, "syslinux -f %c:", letter);
    PROCESS_INFORMATION child;
    HANDLE pipe = run_captured(command, &child, 1);
    char* errors = read_pipe_text(pipe);
    DWORD code = 0;
    take_exit_code(&child, &code);
    if (code != 0) {
        log_string(18);
        log_append(errors);
        HeapFree(GetProcessHeap(), 0, errors);
        abandon_run();
        return;
    }
    log_string(20);
    HeapFree(GetProcessHeap(), 0, errors);
    set_progress(100);
    finish();
}

} // namespace

void boot_setup(char letter)
{
    if (classify_drive(letter) == DRIVE_CLASS_FIXED)
        set_up_grub4dos(letter);
    else
        set_up_syslinux(letter);
}
