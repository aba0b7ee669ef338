#include "install/hard_disk_mode.h"

#include <windows.h>

#include <initializer_list>

#include "child/child_programs.h"
#include "disk/bitlocker.h"
#include "disk/system_partition.h"
#include "frame/plain_file.h"
#include "install/firmware.h"
#include "resources/resource_ids.h"

namespace {

// Whether the firmware starts only signed programs, as Windows keeps it.
bool secure_boot_on()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State",
                      0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG result = RegQueryValueExW(key, L"UEFISecureBootEnabled", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

// Why GRUB for UEFI cannot start on this PC: a string's number, or 0.
int uefi_refusal()
{
    // The kit has GRUB for 64-bit UEFI only.
    if (!firmware_is_64_bit())
        return IDS_UEFI_32_BIT;
    // An unsigned GRUB would not start.
    if (secure_boot_on())
        return IDS_SECURE_BOOT_ON;
    char root[MAX_PATH];
    if (!find_system_partition(root, sizeof root))
        return IDS_NO_ESP;
    return 0;
}

} // namespace

windows_boot_menu running_boot_menu()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version) || version.dwMajorVersion < 6)
        return BOOT_MENU_BOOT_INI;
    return firmware_is_uefi() ? BOOT_MENU_FIRMWARE : BOOT_MENU_BOOT_MANAGER;
}

step_outcome check_hard_disk_install(char letter)
{
    windows_boot_menu menu = running_boot_menu();
    if (menu == BOOT_MENU_BOOT_INI && !is_plain_file("C:\\boot.ini"))
        return step_failed(IDS_NO_BOOT_INI);
    if (menu != BOOT_MENU_BOOT_INI && !program_available(L"bcdedit"))
        return step_failed(IDS_NO_BOOT_INI);
    int refusal = menu == BOOT_MENU_FIRMWARE ? uefi_refusal() : 0;
    if (refusal != 0)
        return step_failed(refusal);
    // GRUB reads its menu on C: and the files on the target.
    for (char drive : {'C', letter}) {
        if (drive_is_bitlocker(drive)) {
            log_text<IDS_BITLOCKER_DRIVE>(drive);
            return step_failed();
        }
    }
    return STEP_DONE;
}
