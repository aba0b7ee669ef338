#pragma once
// Which Windows boot menu a hard-disk install joins, and whether it can work
// on this PC at all. Called by the worker thread.
#include "install/run_steps.h"

enum windows_boot_menu {
    BOOT_MENU_BOOT_INI,     // Windows 2000, XP and 2003: NTLDR reads C:\boot.ini
    BOOT_MENU_BOOT_MANAGER, // Vista and later from a BIOS: the boot manager, through bcdedit
    BOOT_MENU_FIRMWARE,     // Vista and later from UEFI: the firmware's own menu, through bcdedit
};

// Decided by the running Windows's version, not by the files on C: (a
// Windows 7 upgraded from XP may keep a boot.ini that nothing reads), and by
// how the PC started it.
windows_boot_menu running_boot_menu();

// Whether a hard-disk install onto `letter` can be made bootable on this PC;
// asked before anything is written. STEP_DONE, or the refusal, logged.
step_outcome check_hard_disk_install(char letter);
