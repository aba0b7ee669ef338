#include "disk/volume_query.h"

#include <cstring>

#include "frame/exit_codes.h"

volume_query_result query_volume(const char* path, char* reply, volume_place* place)
{
    HANDLE volume = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return VOLUME_OPEN_FAILED;

    DWORD returned = 0;
    if (!DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &place->number,
                         sizeof place->number, &returned, nullptr)) {
        DWORD error = GetLastError();
        CloseHandle(volume);
        SetLastError(error);
        return VOLUME_NUMBER_FAILED;
    }
    if (!DeviceIoControl(volume, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, reply, TEXT_BUFFER_SIZE,
                         &returned, nullptr)) {
        DWORD error = GetLastError();
        CloseHandle(volume);
        SetLastError(error);
        return VOLUME_INFO_FAILED;
    }
    CloseHandle(volume);
    PARTITION_INFORMATION info;
    std::memcpy(&info, reply, sizeof info);
    place->starting_offset = info.StartingOffset.QuadPart;
    place->partition_length = info.PartitionLength.QuadPart;
    return VOLUME_QUERY_OK;
}
