#pragma once
// The edits of the boot configuration files on the system drive, as plain
// file operations; their attributes are the caller's. Called by the worker
// thread.

constexpr int BOOT_FILE_OK = 0;
constexpr int BOOT_FILE_CANNOT_OPEN = 1;
constexpr int BOOT_FILE_WRITE_FAILED = 2; // opened, but the text did not all reach the file
constexpr int BOOT_FILE_NO_DEVICE = 3;    // no GRUB device text; the file is not touched

// Appends the boot entry for the partition `device` (GRUB notation, for
// instance "(hd0,1)") to the menu file at `path`, created when missing. The
// stream is in text mode, so on Windows each line ends in CR LF.
int append_menu_entry(const char* path, const char* device);

// In the boot.ini at `path`: the first line that begins with "timeout=0"
// followed by a blank, a tab, a line end or the end of the file gets the 0
// overwritten by 5; nothing else changes. Lines longer than 1023 characters
// are taken in pieces of 1023, each piece as a line. A missing file is not
// created.
int set_boot_timeout(const char* path);

// Appends the menu line that starts `loader` ("C:\\GRLDR", or the boot-sector
// file "C:\\g2ldr.mbr") to the boot.ini at `path`, in text mode as
// append_menu_entry.
int append_boot_ini_entry(const char* path, const char* loader);

// Writes the file that GRUB for UEFI reads beside itself on the EFI system
// partition: it has GRUB read C:\menu.lst from the partition `c_device`
// (GRUB notation as for the menu entry, "(hdN,M)" with M counted from 0,
// which GRUB 2 counts from 1). Replaces the file at `path`; in text mode.
int write_uefi_grub_config(const char* path, const char* c_device);
