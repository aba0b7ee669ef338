#include "install/boot_setup.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

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
// installer.
void enter_installer_folder()
{
    char folder[TEXT_BUFFER_SIZE] = "";
    GetModuleFileNameA(nullptr, folder, sizeof folder);
    char* last = std::strrchr(folder, '\\');
    if (last != nullptr)
        *last = '\0';
    if (!SetCurrentDirectoryA(folder))
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

// syslinux's UEFI loaders, 64-bit and 32-bit, each with the core it loads;
// both read the root syslinux.cfg.
const char* const UEFI_FILES[] = {"BOOTX64.EFI", "ldlinux.e64", "BOOTIA32.EFI", "ldlinux.e32"};

bool is_plain_file(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates folder `path` unless it is there already; on failure the thread's
// last error says why.
bool make_folder(const char* path)
{
    if (CreateDirectoryA(path, nullptr))
        return true;
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(path);
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    SetLastError(error);
    return false;
}

// Puts the UEFI loaders from efi\ beside the installer into X:\EFI\BOOT.
// Without them the drive still starts on a legacy BIOS, so a missing source
// only says so and the run goes on; false when the run ends here.
bool copy_uefi_loaders(char letter)
{
    char label[TEXT_BUFFER_SIZE];
    std::snprintf(label, sizeof label, load_res_string(41), letter);
    log_append(label);

    char source[4][32];
    for (int i = 0; i < 4; ++i) {
        compose_text(source[i], sizeof source[i], "efi\\%s", UEFI_FILES[i]);
        // All four are checked before any is copied: half a loader on the
        // drive would only fail at boot.
        if (!is_plain_file(source[i])) {
            log_string(42);
            return true;
        }
    }

    char folder[16];
    compose_text(folder, sizeof folder, "%c:\\EFI", letter);
    char boot_folder[16];
    compose_text(boot_folder, sizeof boot_folder, "%c:\\EFI\\BOOT", letter);
    if (!make_folder(folder) || !make_folder(boot_folder)) {
        abandon_failed_copy();
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        char target[32];
        compose_text(target, sizeof target, "%s\\%s", boot_folder, UEFI_FILES[i]);
        if (!CopyFileA(source[i], target, FALSE)) {
            abandon_failed_copy();
            return false;
        }
    }
    log_string(20);
    return true;
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

    if (!copy_uefi_loaders(letter))
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
