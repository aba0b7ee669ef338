// In place of what Wine cannot show: a PC that started Windows through UEFI,
// and volumes encrypted with BitLocker. Steered by the environment, so that a
// whole run of the installer built with this file can be told too:
//   KAVEL_TEST_UEFI=1               the firmware is UEFI
//   KAVEL_TEST_BITLOCKER=LETTERS    these drives are encrypted
#include <windows.h>

#include <cstring>

#include "disk/bitlocker.h"
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
