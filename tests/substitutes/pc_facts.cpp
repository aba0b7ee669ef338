// In place of what Wine cannot show: a PC that started Windows through UEFI,
// and volumes encrypted with BitLocker. Steered by the environment, so that a
// whole run of the installer built with this file can be told too:
//   KAVEL_TEST_UEFI=1               the firmware is UEFI
//   KAVEL_TEST_64BIT=1              and 64-bit
//   KAVEL_TEST_ESP=FOLDER\          the EFI system partition's root
//   KAVEL_TEST_BITLOCKER=LETTERS    these drives are encrypted
//   KAVEL_TEST_CLEAN=LETTERS        these volumes are not marked dirty (the
//                                   others are)
#include <windows.h>

#include <cstring>

#include "disk/bitlocker.h"
#include "disk/system_partition.h"
#include "disk/volume_state.h"
#include "install/firmware.h"

namespace {

bool variable(const char* name, char* value, DWORD size)
{
    DWORD n = GetEnvironmentVariableA(name, value, size);
    return n > 0 && n < size;
}

} // namespace

bool firmware_is_uefi()
{
    char value[8];
    return variable("KAVEL_TEST_UEFI", value, sizeof value) && std::strcmp(value, "1") == 0;
}

bool drive_is_bitlocker(char letter)
{
    char letters[32];
    return variable("KAVEL_TEST_BITLOCKER", letters, sizeof letters) &&
           std::strchr(letters, letter) != nullptr;
}

bool firmware_is_64_bit()
{
    char value[8];
    return variable("KAVEL_TEST_64BIT", value, sizeof value) && std::strcmp(value, "1") == 0;
}

bool find_system_partition(char* root, std::size_t size)
{
    return variable("KAVEL_TEST_ESP", root, static_cast<DWORD>(size));
}

int volume_dirty(char letter)
{
    char letters[32];
    return variable("KAVEL_TEST_CLEAN", letters, sizeof letters) &&
                   std::strchr(letters, letter) != nullptr
               ? VOLUME_CLEAN
               : VOLUME_DIRTY;
}
