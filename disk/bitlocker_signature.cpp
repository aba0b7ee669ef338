#include <cstring>

#include "disk/bitlocker.h"

bool sector_is_bitlocker(const unsigned char* sector)
{
    // Where FAT and NTFS name themselves, after the 3-byte jump.
    return std::memcmp(sector + 3, "-FVE-FS-", 8) == 0;
}
