#pragma once
// The partition walk. Called by both threads, never at once: the drive log walks when the main
// dialog opens, before any run, and one worker works at a time.
#include <algorithm>
#include <cstdint>

#include "disk/xdio.h"

// Asks for every partition in turn (`wanted`), and marks a walk not yet begun
// (`index`). Never a partition's number.
constexpr uint8_t XDIO_PART_NONE = 255;

// Which table a walk lists, set by its first call: the master boot record
// with its chain of extended boot records, or a GUID partition table behind a
// protective entry (type 0xEE) of the master boot record.
constexpr uint8_t XDIO_SCHEME_MBR = 0;
constexpr uint8_t XDIO_SCHEME_GPT = 1;

// The type byte of every partition of a GUID partition table. Its real type
// is a GUID, which the record does not carry; the protective entry's type
// stands for it.
constexpr uint8_t XDIO_TYPE_GPT = 0xEE;

// Most EBRs one walk reads, over all its calls: every logical partition
// there can be, with room for an empty EBR before each.
constexpr uint32_t XDIO_MAX_EBRS_PER_WALK = 512;

// Most sectors one GUID partition table's entry array may take: 1024
// entries of 128 bytes, eight times what partitioning tools write. A table
// that claims more is refused.
constexpr uint32_t XDIO_GPT_MAX_ARRAY_SECTORS = 256;

// Most sectors one walk reads over all its calls: the master boot record, then
// its EBRs, or the headers and entry arrays of the primary and the backup
// GUID partition table.
constexpr uint32_t XDIO_MAX_READS_PER_WALK =
    1 + std::max(XDIO_MAX_EBRS_PER_WALK, 2 * (1 + XDIO_GPT_MAX_ARRAY_SECTORS));

// The caller's record of one partition walk. The caller sets `index` to
// XDIO_PART_NONE and `wanted` before the first call; the walk sets the rest.
// After a yield, `index`, `type`, `start` (absolute first sector) and `size`
// (in sectors) describe the partition; `ext_base` is the first sector of the
// extended partition, the base of every link in its chain.
struct xdio_partition {
    uint8_t index;
    uint8_t wanted;
    uint8_t type;
    uint8_t scheme;
    uint64_t start;
    uint64_t size;
    uint32_t ext_base;
};

// Every sector the walk reads lands here. Between the calls of one walk it
// holds the table the walk goes on from: the master boot record while primary
// partitions are yielded, afterwards the extended boot record of the logical
// partition yielded last. In that case the bytes before the table do not hold
// the record's boot code but the walk's memory of the chain it has read.
// A walk through a GUID partition table keeps the used entries it read in a
// table of its own, process-wide as well, and does not look at this buffer
// after its first call.
// Shared by all walks: no two walks may overlap.
extern uint8_t xdio_sector_buf[XDIO_SECTOR_SIZE];

// Yields the next partition of the whole disk `dev` in GRUB's numbering.
// On a disk with a master boot record: its four slots as 0 to 3, then the
// logical partitions of the first extended partition (type 0x05 or 0x0F) in
// chain order as 4 to 254. On a disk whose master boot record has an entry of
// type 0xEE: the used entries of the GUID partition table, each numbered by
// its slot in the entry array (unused slots count, as in GRUB and Linux), up
// to slot 254, of type XDIO_TYPE_GPT; the backup table at the end of the disk
// stands in for a primary one that fails its checks.
// With `wanted` other than XDIO_PART_NONE only that partition is yielded.
// 0 when a partition was yielded, 1 when there is none (any more): end of
// table or chain, a read failure, a bad signature, a primary table whose
// partitions are empty, start at sector 0 or overlap, a chain that loops or
// runs on without partitions, or GUID partition tables that both fail their
// checks. After 1, `index` is unchanged.
int xdio_next_partition(xdio_device* dev, xdio_partition* part);
