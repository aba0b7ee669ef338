#pragma once

// Whether this PC started Windows through UEFI rather than a legacy BIOS.
// Its boot manager then cannot start a BIOS boot sector such as g2ldr.mbr.
bool firmware_is_uefi();
