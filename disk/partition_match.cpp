#include "disk/partition_match.h"

#include <cstdio>

#include "disk/partition_walk.h"

namespace {

// True when `bytes` / 512, rounded down, is exactly `sectors`: a negative
// count matches nothing.
bool same_sectors(int64_t bytes, uint64_t sectors)
{
    return bytes >= 0 && static_cast<uint64_t>(bytes >> 9) == sectors;
}

} // namespace

int grub_partition_of_extent(xdio_device* disk, int64_t starting_offset, int64_t partition_length)
{
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    while (xdio_next_partition(disk, &part) == 0)
        if (same_sectors(starting_offset, part.start) && same_sectors(partition_length, part.size))
            return part.index;
    return -1;
}

const char* grub_device_of_extent(uint32_t disk_number, int64_t starting_offset,
                                  int64_t partition_length, char* out, std::size_t out_size)
{
    char text[24];
    std::snprintf(text, sizeof text, "(hd%u)", disk_number);
    xdio_device* disk = xdio_open(text, 0);
    if (!disk)
        return nullptr;
    const int index = grub_partition_of_extent(disk, starting_offset, partition_length);
    xdio_close(disk);
    if (index < 0)
        return nullptr;
    const int n =
        std::snprintf(out, out_size, "(hd%u,%u)", disk_number, static_cast<unsigned>(index));
    return n > 0 && static_cast<std::size_t>(n) < out_size ? out : nullptr;
}
