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
#include "resources/resource_ids.h"

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
    log_string(IDS_FAILED);
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
    log_string(result == BOOT_FILE_CANNOT_OPEN ? IDS_CANNOT_OPEN : IDS_FAILED);
    abandon_run();
    return false;
}

// Makes an existing boot file writable; returns the attributes it had.
DWORD make_writable(const char* path)
{
    DWORD before = GetFileAttributesA(path);
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return before;
}

// A boot file whose step failed gets back the attributes it had, so that a
// protected file does not stay open to anyone.
void give_back_attributes(const char* path, DWORD before)
{
    if (before != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, before);
}

void finish()
{
    if (!run_goes_on()) {
        // Stopped after the last check: the work is complete, the run is not.
        log_string(IDS_INTERRUPTED);
        return;
    }
    log_string(IDS_SUCCEEDED);
    end_run();
}

void set_up_grub4dos(char letter)
{
    enter_installer_folder();
    log_string(IDS_IDENTIFYING_PARTITION);
    const char* found = grub_device_of_drive(letter);
    if (found == nullptr) {
        log_string(IDS_FAILED);
        abandon_run();
        return;
    }
    // Kept: the second naming below may fail where this one did not.
    char device[TEXT_BUFFER_SIZE];
    compose_text(device, sizeof device, "%s", found);
    log_string(IDS_DONE);

    char label[TEXT_BUFFER_SIZE];
    std::snprintf(label, sizeof label, load_res_string(IDS_COPYING), 'C', "", "GRLDR");
    log_append(label);
    DWORD grldr_before = make_writable(GRLDR_PATH);
    if (!CopyFileA("grldr", GRLDR_PATH, FALSE)) {
        DWORD error = GetLastError();
        give_back_attributes(GRLDR_PATH, grldr_before);
        SetLastError(error);
        abandon_failed_copy();
        return;
    }
    SetFileAttributesA(GRLDR_PATH, LOADER_ATTRIBUTES);
    log_string(IDS_DONE);
    set_progress(95);
    if (stop_point())
        return;

    log_string(IDS_EDITING_MENU_LST);
    DWORD menu_before = make_writable(MENU_PATH);
    const char* again = grub_device_of_drive(letter);
    int menu_result = append_menu_entry(MENU_PATH, again != nullptr ? again : device);
    if (menu_result != BOOT_FILE_OK)
        give_back_attributes(MENU_PATH, menu_before);
    if (!edit_done(menu_result))
        return;
    SetFileAttributesA(MENU_PATH, LOADER_ATTRIBUTES);
    log_string(IDS_DONE);
    if (stop_point())
        return;

    log_string(IDS_EDITING_BOOT_INI);
    DWORD boot_ini_before = make_writable(BOOT_INI_PATH);
    int boot_ini_result = set_boot_timeout(BOOT_INI_PATH);
    if (boot_ini_result == BOOT_FILE_OK)
        boot_ini_result = append_boot_ini_entry(BOOT_INI_PATH);
    if (boot_ini_result != BOOT_FILE_OK)
        give_back_attributes(BOOT_INI_PATH, boot_ini_before);
    if (!edit_done(boot_ini_result))
        return;
    SetFileAttributesA(BOOT_INI_PATH, LOADER_ATTRIBUTES);
    log_string(IDS_DONE);
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
    std::snprintf(label, sizeof label, load_res_string(IDS_COPYING_UEFI_LOADERS), letter);
    log_append(label);

    char source[4][32];
    for (int i = 0; i < 4; ++i) {
        compose_text(source[i], sizeof source[i], "efi\\%s", UEFI_FILES[i]);
        // All four are checked before any is copied: half a loader on the
        // drive would only fail at boot.
        if (!is_plain_file(source[i])) {
            log_string(IDS_NO_UEFI_LOADERS);
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
    log_string(IDS_DONE);
    return true;
}

void set_up_syslinux(char letter)
{
    enter_installer_folder();
    char label[TEXT_BUFFER_SIZE];
    std::snprintf(label, sizeof label, load_res_string(IDS_CREATING_SYSLINUX_CFG), letter);
    log_append(label);
    char target[16];
    compose_text(target, sizeof target, "%c:\\syslinux.cfg", letter);
    if (!CopyFileA("syslinux.cfg", target, FALSE)) {
        abandon_failed_copy();
        return;
    }
    log_string(IDS_DONE);
    set_progress(95);
    if (stop_point())
        return;

    if (!copy_uefi_loaders(letter))
        return;

    log_string(IDS_INSTALLING_BOOT_LOADER);
    char command[32];
    compose_text(command, sizeof command, "syslinux -f %c:", letter);
    PROCESS_INFORMATION child;
    HANDLE pipe = run_captured(command, &child, 1);
    char* errors = read_pipe_text(pipe);
    DWORD code = 0;
    take_exit_code(&child, &code);
    if (code != 0) {
        log_string(IDS_FAILED);
        log_append(errors);
        HeapFree(GetProcessHeap(), 0, errors);
        abandon_run();
        return;
    }
    log_string(IDS_DONE);
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
