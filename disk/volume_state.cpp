// On its own, so that a test can put another answer in its place at link time.
#include "disk/volume_state.h"

#include <windows.h>
#include <winioctl.h>

#include "disk/xdio.h"

int volume_dirty(char letter)
{
    char path[XDIO_VOLUME_PATH_SIZE];
    xdio_volume_path(letter, path);
    HANDLE volume = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return VOLUME_UNKNOWN;
    ULONG flags = 0;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(volume, FSCTL_IS_VOLUME_DIRTY, nullptr, 0, &flags, sizeof flags,
                              &returned, nullptr);
    CloseHandle(volume);
    if (!ok)
        return VOLUME_UNKNOWN;
    return flags & VOLUME_IS_DIRTY ? VOLUME_DIRTY : VOLUME_CLEAN;
}
