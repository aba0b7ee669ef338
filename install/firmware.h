#pragma once
// What the PC's firmware is. Called by the worker thread.

// Whether this PC started Windows through UEFI rather than a legacy BIOS.
// Its boot manager then cannot start a BIOS boot sector such as g2ldr.mbr.
bool firmware_is_uefi();

// Whether the firmware is 64-bit UEFI. Windows matches its firmware's width,
// so a 64-bit Windows (this 32-bit program then runs under WOW64) tells it.
bool firmware_is_64_bit();
