#include <cstdint>

#include "disk/bitlocker.h"
#include "disk/volume_query.h"
#include "disk/xdio.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"

bool drive_is_bitlocker(char letter)
{
    char path[XDIO_VOLUME_PATH_SIZE];
    xdio_volume_path(letter, path);
    char reply[TEXT_BUFFER_SIZE];
    volume_place place;
    if (query_volume(path, reply, &place) != VOLUME_QUERY_OK || place.starting_offset < 0)
        return false;
    const uint64_t first = static_cast<uint64_t>(place.starting_offset) / XDIO_SECTOR_SIZE;
    char disk[16];
    if (!compose_text(disk, sizeof disk, "(hd%lu)", place.number.DeviceNumber))
        return false;
    xdio_device* device = xdio_open(disk, 0);
    if (device == nullptr)
        return false;
    unsigned char sector[XDIO_SECTOR_SIZE];
    bool encrypted = xdio_seek(device, first) == 0 && xdio_read(device, sector, 1) == 0 &&
                     sector_is_bitlocker(sector);
    xdio_close(device);
    return encrypted;
}
