#pragma once
#include <cstdint>

#include "disk/xdio.h"

// Asks for every partition in turn (`wanted`), and marks a walk not yet begun
// (`index`). Never a partition's number.
constexpr uint8_t XDIO_PART_NONE = 255;

// Most EBRs one walk reads, over all its calls: every logical partition
// there can be, with room for an empty EBR before each. With the master boot
// record, a walk never reads more than XDIO_MAX_EBRS_PER_WALK + 1 sectors.
constexpr uint32_t XDIO_MAX_EBRS_PER_WALK = 512;

// The caller's record of one partition walk. The caller sets `index` to
// XDIO_PART_NONE and `wanted` before the first call; the walk sets the rest.
// After a yield, `index`, `type`, `start` (absolute first sector) and `size`
// (in sectors) describe the partition; `ext_base` is the first sector of the
// extended partition, the base of every link in its chain.
struct xdio_partition {
    uint8_t index;
    uint8_t wanted;
    uint8_t type;
    uint32_t start;
    uint32_t size;
    uint32_t ext_base;
};

// Every sector the walk reads lands here. Between the calls of one walk it
// holds the table the walk goes on from: the master boot record while primary
// partitions are yielded, afterwards the extended boot record of the logical
// partition yielded last. In that case the bytes before the table do not hold
// the record's boot code but the walk's memory of the chain it has read.
// Shared by all walks: no two walks may overlap.
extern uint8_t xdio_sector_buf[XDIO_SECTOR_SIZE];

// Yields the next partition of the whole disk `dev` in GRUB's numbering: the
// four slots of the master boot record as 0 to 3, then the logical partitions
// of the first extended partition (type 0x05 or 0x0F) in chain order as 4 to
// 254. With `wanted` other than XDIO_PART_NONE only that partition is yielded.
// 0 when a partition was yielded, 1 when there is none (any more): end of
// table or chain, a read failure, a bad signature, a primary table whose
// partitions are empty, start at sector 0 or overlap, or a chain that loops or
// runs on without partitions. After 1, `index` is unchanged.
int xdio_next_partition(xdio_device* dev, xdio_partition* part);
