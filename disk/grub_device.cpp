#include "disk/grub_device.h"

#include "disk/partition_match.h"
#include "disk/volume_query.h"
#include "disk/xdio.h"
#include "frame/app.h"
#include "frame/exit_codes.h"

namespace {
// The volume path, the partition information, then the result, in turn.
// Only the worker thread uses it, one naming at a time.
char grub_device_buf[TEXT_BUFFER_SIZE];
} // namespace

const char* grub_device_of_drive(char letter)
{
    xdio_volume_path(letter, grub_device_buf);
    volume_place place;
    switch (query_volume(grub_device_buf, grub_device_buf, &place)) {
    case VOLUME_QUERY_OK:
        break;
    case VOLUME_OPEN_FAILED:
        report_api_failure("CreateFile");
        return nullptr;
    default:
        return nullptr;
    }
    return grub_device_of_extent(place.number.DeviceNumber, place.starting_offset,
                                 place.partition_length, grub_device_buf, sizeof grub_device_buf);
}
