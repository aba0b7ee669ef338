#pragma once
// Asking the system where a volume lies. Called by both threads: the drive log, and the worker's
// BitLocker check, GRUB device naming and search for the EFI system partition.
#include <windows.h>
#include <winioctl.h>

// Where the system says a volume lies: its disk and partition numbers, and
// its position and length on the disk.
struct volume_place {
    STORAGE_DEVICE_NUMBER number;
    LONGLONG starting_offset;
    LONGLONG partition_length;
};

enum volume_query_result {
    VOLUME_QUERY_OK,
    VOLUME_OPEN_FAILED,   // CreateFileA refused the volume
    VOLUME_NUMBER_FAILED, // IOCTL_STORAGE_GET_DEVICE_NUMBER refused
    VOLUME_INFO_FAILED,   // IOCTL_DISK_GET_PARTITION_INFO refused
};

// Opens the raw volume `path` ("\\.\E:") and asks for its place. `reply` is
// the 1024-byte buffer the partition information lands in. The volume is
// closed again; on failure the thread's last error tells why.
volume_query_result query_volume(const char* path, char* reply, volume_place* place);
