#include "disk/drive_class.h"

#include <windows.h>
#include <winioctl.h>

#include "disk/xdio.h"

int classify_drive(char letter)
{
    char volume[XDIO_VOLUME_PATH_SIZE];
    xdio_volume_path(letter, volume);

    UINT type = GetDriveTypeA(volume + 4); // "E:" alone
    if (type == DRIVE_REMOVABLE)
        return DRIVE_CLASS_REMOVABLE; // no medium needed: the device is not opened
    if (type != DRIVE_FIXED)
        return DRIVE_CLASS_NONE;

    HANDLE device = CreateFileA(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return DRIVE_CLASS_NONE;

    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The fixed part of the descriptor only; the bus type is all we read.
    union {
        STORAGE_DEVICE_DESCRIPTOR descriptor;
        BYTE bytes[40];
    } reply = {};
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &reply,
                              sizeof reply.bytes, &returned, nullptr);
    CloseHandle(device);
    if (!ok)
        return DRIVE_CLASS_NONE;
    return reply.descriptor.BusType == BusTypeUsb ? DRIVE_CLASS_REMOVABLE : DRIVE_CLASS_FIXED;
}
