#pragma once
// Naming a volume's partition in GRUB notation from the position and length
// the system reports for it (signed 64-bit byte counts, as in
// PARTITION_INFORMATION). A partition matches when the byte counts shifted
// right by 9 equal its first sector and its length exactly.
// Called by the worker thread, through grub_device_of_drive.
#include <cstddef>
#include <cstdint>

#include "disk/xdio.h"

// GRUB number of the first partition of the whole disk `disk`, in walk order,
// that matches; -1 when none does or the disk's table fails the walk.
int grub_partition_of_extent(xdio_device* disk, int64_t starting_offset, int64_t partition_length);

// Opens physical disk `disk_number` as "(hdN)", read-only, finds the matching
// partition and writes "(hdN,M)" into `out` (`out_size` bytes, 1024 in the
// installer). Returns `out`, or null when the disk cannot be opened (numbers
// above 9 included) or no partition matches. The disk is closed again.
const char* grub_device_of_extent(uint32_t disk_number, int64_t starting_offset,
                                  int64_t partition_length, char* out, std::size_t out_size);
