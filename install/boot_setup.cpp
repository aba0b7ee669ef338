#include "install/boot_setup.h"

#include <windows.h>

#include "child/child_programs.h"
#include "disk/drive_class.h"
#include "disk/grub_device.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "frame/plain_file.h"
#include "frame/wide_text.h"
#include "install/boot_files.h"
#include "install/boot_manager_entry.h"
#include "install/hard_disk_mode.h"
#include "install/progress_dialog.h"
#include "install/progress_math.h"
#include "install/run_steps.h"
#include "install/run_worker.h"
#include "install/uefi_grub.h"
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
            return failed_for_system_reason();
        return step_failed(result == BOOT_FILE_CANNOT_OPEN ? IDS_CANNOT_OPEN : IDS_FAILED);
    }
    SetFileAttributesA(path, LOADER_ATTRIBUTES);
    log_string(IDS_DONE);
    return STEP_DONE;
}

step_outcome copy_loader(const char* name, const char* target)
{
    log_text<IDS_COPYING>('C', L"", widened(target + 3).text);
    return change_boot_file(
        target, [&] { return CopyFileA(name, target, FALSE) ? BOOT_FILE_OK : LOADER_NOT_COPIED; });
}

// GRUB 2's pair: the boot-sector file that a Windows boot menu starts, and
// the GRUB it starts in turn. Both are looked for before either is copied,
// so that C: never gets one without the other.
const char* const PAIR_FILES[] = {"g2ldr.mbr", "g2ldr"};
const char* const PAIR_TARGETS[] = {"C:\\g2ldr.mbr", "C:\\g2ldr"};

step_outcome copy_pair()
{
    for (const char* name : PAIR_FILES) {
        if (!is_plain_file(name)) {
            log_text<IDS_COPYING>('C', L"", widened(name).text);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return failed_for_system_reason();
        }
    }
    for (int i = 0; i < 2; ++i) {
        step_outcome outcome = copy_loader(PAIR_FILES[i], PAIR_TARGETS[i]);
        if (outcome.end != STEP_GOES_ON)
            return outcome;
    }
    return STEP_DONE;
}

// What a boot-manager install changes on C:, as it was before, so that a
// failure in the boot store leaves C: as it found it.
struct c_drive_before {
    bool pair_was_there[2];
    DWORD menu_attributes; // INVALID_FILE_ATTRIBUTES when there was no menu.lst
    LARGE_INTEGER menu_size;
};

c_drive_before note_c_drive()
{
    c_drive_before before = {};
    for (int i = 0; i < 2; ++i)
        before.pair_was_there[i] = is_plain_file(PAIR_TARGETS[i]);
    WIN32_FILE_ATTRIBUTE_DATA menu;
    before.menu_attributes = INVALID_FILE_ATTRIBUTES;
    if (GetFileAttributesExA(MENU_PATH, GetFileExInfoStandard, &menu)) {
        before.menu_attributes = menu.dwFileAttributes;
        before.menu_size.LowPart = menu.nFileSizeLow;
        before.menu_size.HighPart = static_cast<LONG>(menu.nFileSizeHigh);
    }
    return before;
}

// The pair files this run added go, and menu.lst loses the entry it gained.
void restore_c_drive(const c_drive_before& before)
{
    for (int i = 0; i < 2; ++i)
        if (!before.pair_was_there[i])
            delete_file(PAIR_TARGETS[i]);
    if (before.menu_attributes == INVALID_FILE_ATTRIBUTES) {
        delete_file(MENU_PATH);
        return;
    }
    SetFileAttributesA(MENU_PATH, FILE_ATTRIBUTE_NORMAL);
    HANDLE menu = CreateFileA(MENU_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (menu != INVALID_HANDLE_VALUE) {
        if (SetFilePointerEx(menu, before.menu_size, nullptr, FILE_BEGIN))
            SetEndOfFile(menu);
        CloseHandle(menu);
    }
    SetFileAttributesA(MENU_PATH, before.menu_attributes);
}

step_outcome append_boot_entry(char letter, const char* device)
{
    log_string(IDS_EDITING_MENU_LST);
    return change_boot_file(MENU_PATH, [&] {
        const char* again = grub_device_of_drive(letter);
        return append_menu_entry(MENU_PATH, again != nullptr ? again : device);
    });
}

step_outcome edit_boot_ini(const char* loader)
{
    log_string(IDS_EDITING_BOOT_INI);
    return change_boot_file(BOOT_INI_PATH, [&] {
        int result = set_boot_timeout(BOOT_INI_PATH);
        return result == BOOT_FILE_OK ? append_boot_ini_entry(BOOT_INI_PATH, loader) : result;
    });
}

// The loader files on C: and the entry in C:\menu.lst, whichever Windows
// boot menu is to start them.
step_outcome put_loader_and_entry(char letter, const char* device, bool pair)
{
    step_outcome outcome = pair ? copy_pair() : copy_loader("grldr", GRLDR_PATH);
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    set_progress(BAR_LOADER_FILES);
    if (!run_goes_on())
        return step_stopped();
    outcome = append_boot_entry(letter, device);
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    return check_for_stop();
}

// GRUB for UEFI on the EFI system partition, C:\menu.lst, and the firmware's
// entry; when a step after the copy fails, the partition and C: are taken
// back.
step_outcome set_up_uefi_grub(char letter, const char* device)
{
    esp_place esp = {};
    step_outcome outcome = put_grub_on_esp(&esp);
    if (outcome.end == STEP_GOES_ON) {
        set_progress(BAR_LOADER_FILES);
        outcome = check_for_stop();
    }
    if (outcome.end != STEP_GOES_ON) {
        if (outcome.end == STEP_FAILED)
            take_grub_off_esp(&esp);
        return outcome;
    }
    c_drive_before before = note_c_drive();
    outcome = append_boot_entry(letter, device);
    if (outcome.end == STEP_GOES_ON && !run_goes_on())
        return step_stopped();
    if (outcome.end == STEP_GOES_ON)
        outcome = add_firmware_entry(&esp);
    if (outcome.end == STEP_FAILED) {
        restore_c_drive(before);
        take_grub_off_esp(&esp);
    } else if (outcome.end == STEP_GOES_ON) {
        set_progress(BAR_COMPLETE);
    }
    return outcome;
}

step_outcome set_up_hard_disk(char letter)
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

    windows_boot_menu menu = running_boot_menu();
    if (menu == BOOT_MENU_FIRMWARE)
        return set_up_uefi_grub(letter, device);
    // NTLDR starts GRUB4DOS when it is there, and GRUB 2's pair otherwise; the
    // boot manager starts only the pair.
    bool pair =
        menu == BOOT_MENU_BOOT_MANAGER ||
        (!is_plain_file("grldr") && (is_plain_file(PAIR_FILES[0]) || is_plain_file(PAIR_FILES[1])));
    c_drive_before before = note_c_drive();
    step_outcome outcome = put_loader_and_entry(letter, device, pair);
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    if (menu == BOOT_MENU_BOOT_MANAGER) {
        outcome = add_boot_manager_entry();
        if (outcome.end == STEP_FAILED)
            restore_c_drive(before);
    } else {
        outcome = edit_boot_ini(pair ? PAIR_TARGETS[0] : GRLDR_PATH);
    }
    if (outcome.end == STEP_GOES_ON)
        set_progress(BAR_COMPLETE);
    return outcome;
}

// syslinux's UEFI loaders, 64-bit and 32-bit, each with the core it loads;
// both read the root syslinux.cfg.
const char* const UEFI_FILES[] = {"BOOTX64.EFI", "ldlinux.e64", "BOOTIA32.EFI", "ldlinux.e32"};

// Puts the UEFI loaders from efi\ beside the installer into X:\EFI\BOOT.
// Without them the drive still starts on a legacy BIOS, so a missing source
// only says so and the run goes on.
step_outcome copy_uefi_loaders(char letter)
{
    log_text<IDS_COPYING_UEFI_LOADERS>(letter);
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
        return failed_for_system_reason();
    for (int i = 0; i < 4; ++i) {
        char target[32];
        compose_text(target, sizeof target, "%s\\%s", boot_folder, UEFI_FILES[i]);
        if (!CopyFileA(source[i], target, FALSE))
            return failed_for_system_reason();
    }
    log_string(IDS_DONE);
    return STEP_DONE;
}

step_outcome set_up_syslinux(char letter)
{
    enter_installer_folder();
    log_text<IDS_CREATING_SYSLINUX_CFG>(letter);
    char target[16];
    compose_text(target, sizeof target, "%c:\\syslinux.cfg", letter);
    if (!CopyFileA("syslinux.cfg", target, FALSE))
        return failed_for_system_reason();
    log_string(IDS_DONE);
    set_progress(BAR_LOADER_FILES);
    if (!run_goes_on())
        return step_stopped();

    step_outcome loaders = copy_uefi_loaders(letter);
    if (loaders.end != STEP_GOES_ON)
        return loaders;

    log_string(IDS_INSTALLING_BOOT_LOADER);
    wchar_t command[32];
    compose_wide(command, 32, L"syslinux -f %c:", letter);
    child_outcome syslinux = run_child(command, child_stream::ERRORS);
    if (!child_succeeded(syslinux.code, syslinux.output))
        return step_failed();
    log_string(IDS_DONE);
    set_progress(BAR_COMPLETE);
    return STEP_DONE;
}

} // namespace

step_outcome boot_setup(char letter)
{
    if (classify_drive(letter) == DRIVE_CLASS_FIXED)
        return set_up_hard_disk(letter);
    return set_up_syslinux(letter);
}
