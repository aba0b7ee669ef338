#pragma once
// The GUID partition table side of the partition walk (partition_walk.cpp).
// Called through the walk, on both threads.
#include <cstdint>

#include "disk/xdio.h"

// A used entry: its slot in the entry array, its first and last sector.
struct gpt_used_entry {
    uint32_t slot;
    uint64_t first;
    uint64_t last;
};

// Reads the GUID partition table of the whole disk `dev`, whose master boot
// record stands in xdio_sector_buf and has a protective entry, and keeps its
// used entries for gpt_entry_from. The primary table at sector 1 is taken when
// it passes every check, else the backup at the disk's end. False, keeping no
// entry, when neither does or a read fails.
bool gpt_load(xdio_device* dev);

// The kept entry with the lowest slot at `slot` or above; null when none is.
const gpt_used_entry* gpt_entry_from(uint32_t slot);
