// On its own, so that a test can put another answer in its place at link time.
#include "install/firmware.h"

#include <windows.h>

namespace {

constexpr int FIRMWARE_TYPE_UEFI = 2; // FirmwareTypeUefi

// Looked up: Windows 2000 lacks them all, Windows 7 GetFirmwareType.
FARPROC kernel32_call(const char* name)
{
    return GetProcAddress(GetModuleHandleW(L"kernel32"), name);
}

} // namespace

bool firmware_is_uefi()
{
    using get_firmware_type = BOOL(WINAPI*)(int*);
    auto get_type = reinterpret_cast<get_firmware_type>(
        reinterpret_cast<void*>(kernel32_call("GetFirmwareType")));
    int type = 0;
    if (get_type != nullptr && get_type(&type))
        return type == FIRMWARE_TYPE_UEFI;

    // Asking for a variable of a made-up vendor: a legacy BIOS has no variables
    // at all and says ERROR_INVALID_FUNCTION; UEFI firmware answers otherwise
    // (not found, or no privilege).
    using get_variable = DWORD(WINAPI*)(LPCSTR, LPCSTR, PVOID, DWORD);
    auto get = reinterpret_cast<get_variable>(
        reinterpret_cast<void*>(kernel32_call("GetFirmwareEnvironmentVariableA")));
    if (get == nullptr)
        return false;
    if (get("", "{00000000-0000-0000-0000-000000000000}", nullptr, 0) != 0)
        return true;
    return GetLastError() != ERROR_INVALID_FUNCTION;
}

bool firmware_is_64_bit()
{
    using is_wow64_call = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto is_wow64 =
        reinterpret_cast<is_wow64_call>(reinterpret_cast<void*>(kernel32_call("IsWow64Process")));
    BOOL wow64 = FALSE;
    return is_wow64 != nullptr && is_wow64(GetCurrentProcess(), &wow64) && wow64;
}
