#pragma once
// GRUB for 64-bit UEFI on the EFI system partition, in \EFI\kavel\, and the
// firmware's boot entry that starts it. Called by the worker thread.
#include <windows.h>

#include "install/run_steps.h"

// Where GRUB goes on the EFI system partition.
struct esp_place {
    char root[MAX_PATH];   // "\\?\Volume{...}\"
    char folder[MAX_PATH]; // root + "EFI\kavel"
    bool folder_was_there; // from an earlier run
};

// Finds the partition and puts there efi-grub\grubx64.efi from beside the
// installer and the file that has it read C:\menu.lst from C:'s partition.
step_outcome put_grub_on_esp(esp_place* esp);

// Takes back what put_grub_on_esp put on the partition, unless an earlier
// run had put it there.
void take_grub_off_esp(const esp_place* esp);

// Adds the firmware's boot entry for GRUB (or takes up the one an earlier run
// made), last in the firmware's menu, and says how to choose it.
step_outcome add_firmware_entry(const esp_place* esp);
