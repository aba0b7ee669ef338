// On its own, so that a test can put another answer in its place at link time.
#include "disk/system_partition.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "disk/volume_query.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"

namespace {

// C12A7328-F81F-11D2-BA4B-00A0C93EC93B, the type of an EFI system partition
// in a GUID partition table; 0xEF in a master boot record.
const GUID ESP_TYPE = {
    0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
constexpr BYTE ESP_MBR_TYPE = 0xEF;

// Room for the layout of 128 partitions, what GUID partition tables hold.
constexpr DWORD LAYOUT_SIZE =
    sizeof(DRIVE_LAYOUT_INFORMATION_EX) + 128 * sizeof(PARTITION_INFORMATION_EX);

// The system's number of the EFI system partition on disk `disk`; 0 when it
// has none.
DWORD system_partition_number(DWORD disk)
{
    char path[32];
    compose_text(path, sizeof path, "\\\\.\\PhysicalDrive%lu", disk);
    HANDLE device = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return 0;
    DWORD layout_words[LAYOUT_SIZE / sizeof(DWORD) + 1];
    auto* layout = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(layout_words);
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout,
                              LAYOUT_SIZE, &returned, nullptr);
    CloseHandle(device);
    if (!ok)
        return 0;
    for (DWORD i = 0; i < layout->PartitionCount; ++i) {
        const PARTITION_INFORMATION_EX& p = layout->PartitionEntry[i];
        bool esp =
            p.PartitionStyle == PARTITION_STYLE_GPT
                ? IsEqualGUID(p.Gpt.PartitionType, ESP_TYPE)
                : p.PartitionStyle == PARTITION_STYLE_MBR && p.Mbr.PartitionType == ESP_MBR_TYPE;
        if (esp && p.PartitionNumber != 0)
            return p.PartitionNumber;
    }
    return 0;
}

// Whether the volume `name` ("\\?\Volume{...}\") is partition `number` of `disk`.
bool volume_is(const wchar_t* name, DWORD disk, DWORD number)
{
    wchar_t path[MAX_PATH];
    std::size_t length = wcslen(name);
    if (length < 2 || length >= MAX_PATH)
        return false;
    wcscpy(path, name);
    path[length - 1] = L'\0'; // the volume itself, not its root folder
    HANDLE volume = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return false;
    STORAGE_DEVICE_NUMBER where = {};
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &where,
                              sizeof where, &returned, nullptr);
    CloseHandle(volume);
    return ok && where.DeviceNumber == disk && where.PartitionNumber == number;
}

} // namespace

bool find_system_partition(char* root, std::size_t size)
{
    char reply[TEXT_BUFFER_SIZE];
    volume_place c_drive;
    if (query_volume("\\\\.\\C:", reply, &c_drive) != VOLUME_QUERY_OK)
        return false;
    DWORD disk = c_drive.number.DeviceNumber;
    DWORD number = system_partition_number(disk);
    if (number == 0)
        return false;
    wchar_t name[MAX_PATH];
    HANDLE search = FindFirstVolumeW(name, MAX_PATH);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        found = volume_is(name, disk, number);
    } while (!found && FindNextVolumeW(search, name, MAX_PATH));
    FindVolumeClose(search);
    // Volume names are ASCII: "\\?\Volume{" and a GUID.
    return found && WideCharToMultiByte(CP_ACP, 0, name, -1, root, static_cast<int>(size), nullptr,
                                        nullptr) > 0;
}
