#include "install/boot_setup.h"

#include <windows.h>

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

// A copy that failed: the outcome and the system's reason; the run ends.
step_outcome failed_copy()
{
    DWORD error = GetLastError();
    log_string(IDS_FAILED);
    SetLastError(error);
    log_append(last_error_text());
    log_append("\r\n");
    return step_failed();
}

// What change_boot_file's change gives when CopyFileA failed.
constexpr int LOADER_NOT_COPIED = -1;

// One boot file on C: changed by `change`, which gives a BOOT_FILE_* result
// or LOADER_NOT_COPIED. The file is writable meanwhile and kept afterwards as
// the loader's own files are; when the change fails it gets back the
// attributes it had, so that a protected file does not stay open to anyone.
template <typename Change> step_outcome change_boot_file(const char* path, Change change)
{
    DWORD before = GetFileAttributesA(path);
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    int result = change();
    if (result != BOOT_FILE_OK) {
        DWORD error = GetLastError();
        if (before != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(path, before);
        SetLastError(error);
        if (result == LOADER_NOT_COPIED)
            return failed_copy();
        return step_failed(result == BOOT_FILE_CANNOT_OPEN ? IDS_CANNOT_OPEN : IDS_FAILED);
    }
    SetFileAttributesA(path, LOADER_ATTRIBUTES);
    log_string(IDS_DONE);
    return STEP_DONE;
}

step_outcome set_up_grub4dos(char letter)
{
    enter_installer_folder();
    log_string(IDS_IDENTIFYING_PARTITION);
    const char* found = grub_device_of_drive(letter);
    if (found == nullptr)
        return step_failed(IDS_FAILED);
    // Kept: the second naming below may fail where this one did not.
    char device[TEXT_BUFFER_SIZE];
    compose_text(device, sizeof device, "%s", found);
    log_string(IDS_DONE);

    log_text(IDS_COPYING, 'C', "", "GRLDR");
    step_outcome outcome = change_boot_file(GRLDR_PATH, [] {
        return CopyFileA("grldr", GRLDR_PATH, FALSE) ? BOOT_FILE_OK : LOADER_NOT_COPIED;
    });
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    set_progress(95);
    if (!run_goes_on())
        return step_stopped();

    log_string(IDS_EDITING_MENU_LST);
    outcome = change_boot_file(MENU_PATH, [&] {
        const char* again = grub_device_of_drive(letter);
        return append_menu_entry(MENU_PATH, again != nullptr ? again : device);
    });
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    if (!run_goes_on())
        return step_stopped();

    log_string(IDS_EDITING_BOOT_INI);
    outcome = change_boot_file(BOOT_INI_PATH, [] {
        int result = set_boot_timeout(BOOT_INI_PATH);
        return result == BOOT_FILE_OK ? append_boot_ini_entry(BOOT_INI_PATH) : result;
    });
    if (outcome.end == STEP_GOES_ON)
        set_progress(100);
    return outcome;
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
// only says so and the run goes on.
step_outcome copy_uefi_loaders(char letter)
{
    log_text(IDS_COPYING_UEFI_LOADERS, letter);
    char source[4][32];
    for (int i = 0; i < 4; ++i) {
        compose_text(source[i], sizeof source[i], "efi\\%s", UEFI_FILES[i]);
        // All four are checked before any is copied: half a loader on the
        // drive would only fail at boot.
        if (!is_plain_file(source[i])) {
            log_string(IDS_NO_UEFI_LOADERS);
            return STEP_DONE;
        }
    }

    char folder[16];
    compose_text(folder, sizeof folder, "%c:\\EFI", letter);
    char boot_folder[16];
    compose_text(boot_folder, sizeof boot_folder, "%c:\\EFI\\BOOT", letter);
    if (!make_folder(folder) || !make_folder(boot_folder))
        return failed_copy();
    for (int i = 0; i < 4; ++i) {
        char target[32];
        compose_text(target, sizeof target, "%s\\%s", boot_folder, UEFI_FILES[i]);
        if (!CopyFileA(source[i], target, FALSE))
            return failed_copy();
    }
    log_string(IDS_DONE);
    return STEP_DONE;
}

step_outcome set_up_syslinux(char letter)
{
    enter_installer_folder();
    log_text(IDS_CREATING_SYSLINUX_CFG, letter);
    char target[16];
    compose_text(target, sizeof target, "%c:\\syslinux.cfg", letter);
    if (!CopyFileA("syslinux.cfg", target, FALSE))
        return failed_copy();
    log_string(IDS_DONE);
    set_progress(95);
    if (!run_goes_on())
        return step_stopped();

    step_outcome loaders = copy_uefi_loaders(letter);
    if (loaders.end != STEP_GOES_ON)
        return loaders;

    log_string(IDS_INSTALLING_BOOT_LOADER);
    char command[32];
    compose_text(command, sizeof command, "syslinux -f %c:", letter);
    PROCESS_INFORMATION child;
    HANDLE pipe = run_captured(command, &child, 1);
    char* errors = read_pipe_text(pipe);
    DWORD code = 0;
    take_exit_code(&child, &code);
    if (!child_succeeded(code, errors))
        return step_failed();
    log_string(IDS_DONE);
    set_progress(100);
    return STEP_DONE;
}

} // namespace

step_outcome boot_setup(char letter)
{
    if (classify_drive(letter) == DRIVE_CLASS_FIXED)
        return set_up_grub4dos(letter);
    return set_up_syslinux(letter);
}
