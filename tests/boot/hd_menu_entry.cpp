// The installer's fixed-disk naming and menu entry, on a disk image: the
// volume's place (first sector and length, as Windows reports them for a
// drive letter) is matched against the partition walk of physical disk DISK
// (0 when not given), which the test build of the raw-disk layer reads from
// IMAGES "hdDISK.img"; the boot entry for the GRUB name found is appended to
// MENU_LST.
// With --uefi-config the volume is C: instead, and the file that GRUB for
// UEFI reads beside itself on the EFI system partition is written to FILE,
// naming C:'s partition.
// Usage: hd_menu_entry IMAGES START_SECTOR SECTORS MENU_LST [DISK]
//        hd_menu_entry --uefi-config IMAGES START_SECTOR SECTORS FILE [DISK]
// Prints the GRUB name; exit code 1 when no partition lies there, 2 when the
// file cannot be written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/partition_match.h"
#include "install/boot_files.h"
#include "tests/substitutes/traced_xdio.h"

int main(int argc, char** argv)
{
    const bool uefi_config = argc > 1 && std::strcmp(argv[1], "--uefi-config") == 0;
    if (uefi_config) {
        --argc;
        ++argv;
    }
    if (argc != 5 && argc != 6) {
        std::fprintf(
            stderr,
            "usage: hd_menu_entry [--uefi-config] IMAGES START_SECTOR SECTORS FILE [DISK]\n");
        return 2;
    }
    trace.images = argv[1];
    const int64_t offset = static_cast<int64_t>(std::strtoull(argv[2], nullptr, 10)) * 512;
    const int64_t length = static_cast<int64_t>(std::strtoull(argv[3], nullptr, 10)) * 512;
    const uint32_t disk = argc == 6 ? static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10)) : 0;
    char name[1024];
    const char* device = grub_device_of_extent(disk, offset, length, name, sizeof name);
    if (device == nullptr) {
        std::fprintf(stderr, "no partition of %shd%u.img starts at sector %s with %s sectors\n",
                     argv[1], disk, argv[2], argv[3]);
        return 1;
    }
    if (uefi_config) {
        if (write_uefi_grub_config(argv[4], device) != BOOT_FILE_OK) {
            std::fprintf(stderr, "cannot write GRUB's configuration to %s\n", argv[4]);
            return 2;
        }
    } else if (append_menu_entry(argv[4], device) != BOOT_FILE_OK) {
        std::fprintf(stderr, "cannot append the boot entry to %s\n", argv[4]);
        return 2;
    }
    std::printf("%s\n", device);
    return 0;
}
