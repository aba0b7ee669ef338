// In place of the partition naming, which Wine cannot do: the names the test
// scripted, in turn, then none.
#include "disk/grub_device.h"
#include "tests/substitutes/recorded_run.h"

std::vector<const char*> namings;
std::size_t naming_calls;

const char* grub_device_of_drive(char)
{
    const char* answer = naming_calls < namings.size() ? namings[naming_calls] : nullptr;
    ++naming_calls;
    return answer;
}
