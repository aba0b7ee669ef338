#include "install/hard_disk_mode.h"

#include <windows.h>

#include <initializer_list>

#include "child/child_programs.h"
#include "disk/bitlocker.h"
#include "install/firmware.h"
#include "resources/resource_ids.h"

windows_boot_menu running_boot_menu()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version) && version.dwMajorVersion >= 6)
        return BOOT_MENU_BOOT_MANAGER;
    return BOOT_MENU_BOOT_INI;
}

step_outcome check_hard_disk_install(char letter)
{
    if (running_boot_menu() == BOOT_MENU_BOOT_MANAGER) {
        if (firmware_is_uefi())
            return step_failed(IDS_UEFI_PC);
        if (!program_available("bcdedit"))
            return step_failed(IDS_NO_BOOT_INI);
    } else if (!is_plain_file("C:\\boot.ini")) {
        return step_failed(IDS_NO_BOOT_INI);
    }
    // GRUB reads its menu on C: and the files on the target.
    for (char drive : {'C', letter}) {
        if (drive_is_bitlocker(drive)) {
            log_text(IDS_BITLOCKER_DRIVE, drive);
            return step_failed();
        }
    }
    return STEP_DONE;
}
