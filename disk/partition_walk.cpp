#include "disk/partition_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "disk/gpt_walk.h"
#include "disk/table_bytes.h"

// Written and read by whichever thread walks; walks never overlap.
uint8_t xdio_sector_buf[XDIO_SECTOR_SIZE];

namespace {

constexpr std::size_t TABLE_OFFSET = 446;
constexpr std::size_t ENTRY_SIZE = 16;
constexpr int PRIMARY_SLOTS = 4;
constexpr int FIRST_LOGICAL = 4;
constexpr int LAST_PARTITION = 254;
constexpr uint8_t PROTECTIVE_TYPE = 0xEE;

// How the walk ends on chains no partitioning tool writes, without reading
// any EBR twice on a sound chain:
// - a link back to an EBR already read ends the walk at that link, for loops
//   of up to RECENT_EBRS EBRs (the walk remembers that many, see below);
// - one walk reads at most XDIO_MAX_EBRS_PER_WALK EBRs and numbers no
//   partition above 254, which ends longer loops and endless chains;
// - more than MAX_EBRS_WITHOUT_PARTITION EBRs in a row that hold no partition
//   (empty, or a link in the partition's place) end it at once. Tools leave
//   at most one such EBR, the first, when its partition was deleted.
constexpr uint32_t MAX_EBRS_WITHOUT_PARTITION = 32;
constexpr uint32_t RECENT_EBRS = (TABLE_OFFSET - sizeof(uint64_t)) / sizeof(uint64_t);

// What the walk knows of the chain. Its state between calls lies only in the
// caller's record and the sector buffer, so this travels in the buffer, in
// the bytes before the table of the EBR last read: nothing reads those.
struct chain_memory {
    uint32_t ebrs_read;
    uint64_t recent[RECENT_EBRS]; // sectors of the last EBRs read, a ring
};
static_assert(sizeof(chain_memory) <= TABLE_OFFSET, "chain memory must leave the table alone");

struct table_entry {
    uint8_t type;
    uint32_t first;
    uint32_t length;
};

// Slot `slot` of the table in the sector buffer.
table_entry entry(int slot)
{
    const uint8_t* e = xdio_sector_buf + TABLE_OFFSET + ENTRY_SIZE * slot;
    return {e[4], le32(e + 8), le32(e + 12)};
}

bool is_extended(uint8_t type)
{
    return type == 0x05 || type == 0x0F;
}

// Reads `sector` into the buffer; true when it carries a table signature.
bool read_table(xdio_device* dev, uint64_t sector)
{
    return xdio_seek(dev, sector) == 0 && xdio_read(dev, xdio_sector_buf, 1) == 0 &&
           xdio_sector_buf[510] == 0x55 && xdio_sector_buf[511] == 0xAA;
}

// The primary partitions in use, ordered by first sector, neither start at
// sector 0 nor overlap (touching is fine). Their numbering stays the slots'.
bool primary_table_sane()
{
    uint32_t first[PRIMARY_SLOTS];
    uint32_t length[PRIMARY_SLOTS];
    int used = 0;
    for (int slot = 0; slot < PRIMARY_SLOTS; ++slot) {
        const table_entry e = entry(slot);
        if (e.type == 0)
            continue;
        if (e.length == 0)
            return false;
        first[used] = e.first;
        length[used] = e.length;
        ++used;
    }
    if (used == 0)
        return false;
    for (int i = 0; i < used - 1; ++i) {
        int least = i;
        for (int j = i + 1; j < used; ++j)
            if (first[j] < first[least])
                least = j;
        std::swap(first[i], first[least]);
        std::swap(length[i], length[least]);
    }
    if (first[0] == 0)
        return false;
    // In 64 bits: a partition that runs past sector 2^32 - 1 overlaps whatever
    // follows it, and must not pass by wrapping round.
    for (int i = 0; i < used - 1; ++i)
        if (static_cast<uint64_t>(first[i]) + length[i] > first[i + 1])
            return false;
    return true;
}

// A logical partition's first sector is its EBR's plus the entry's, in 64
// bits as GRUB and Linux add them: a sum past 2^32 - 1 must not wrap round to
// some other partition's place.
int yield(xdio_partition* part, int number, const table_entry& e, uint64_t base)
{
    part->index = static_cast<uint8_t>(number);
    part->type = e.type;
    part->start = base + e.first;
    part->size = e.length;
    return 0;
}

// The next EBR after the one in the buffer, from the link in its second entry;
// false at the end of the chain.
bool next_link(const xdio_partition* part, uint64_t* sector)
{
    const table_entry link = entry(1);
    if (!is_extended(link.type) || link.first == 0)
        return false;
    *sector = static_cast<uint64_t>(part->ext_base) + link.first;
    return true;
}

// Reads the EBR at `sector` into the buffer, unless the chain has been there
// already or has grown past any real chain's length.
bool read_ebr(xdio_device* dev, chain_memory* chain, uint64_t sector)
{
    const uint32_t known = std::min(chain->ebrs_read, RECENT_EBRS);
    for (uint32_t i = 0; i < known; ++i)
        if (chain->recent[i] == sector)
            return false;
    if (chain->ebrs_read >= XDIO_MAX_EBRS_PER_WALK || !read_table(dev, sector))
        return false;
    chain->recent[chain->ebrs_read % RECENT_EBRS] = sector;
    ++chain->ebrs_read;
    std::memcpy(xdio_sector_buf, chain, sizeof *chain);
    return true;
}

bool has_protective_entry()
{
    for (int slot = 0; slot < PRIMARY_SLOTS; ++slot)
        if (entry(slot).type == PROTECTIVE_TYPE)
            return true;
    return false;
}

// Reads the master boot record and, behind a protective entry, the GUID
// partition table; false when the disk has no table the walk can list.
bool begin_walk(xdio_device* dev, xdio_partition* part)
{
    if (!read_table(dev, 0))
        return false;
    if (has_protective_entry()) {
        part->scheme = XDIO_SCHEME_GPT;
        return gpt_load(dev);
    }
    part->scheme = XDIO_SCHEME_MBR;
    return primary_table_sane();
}

// The used entry of the GUID partition table from slot `number` on (or the wanted
// one), numbered by its slot.
int next_gpt_entry(xdio_partition* part, int number)
{
    const int wanted = part->wanted;
    const gpt_used_entry* e =
        gpt_entry_from(static_cast<uint32_t>(wanted == XDIO_PART_NONE ? number : wanted));
    if (!e || e->slot > LAST_PARTITION || (wanted != XDIO_PART_NONE && e->slot != uint32_t(wanted)))
        return 1;
    part->index = static_cast<uint8_t>(e->slot);
    part->type = XDIO_TYPE_GPT;
    part->start = e->first;
    part->size = e->last - e->first + 1;
    return 0;
}

// The primary slot from `number` on (or the wanted one); NO_PRIMARY when the walk
// goes on with the logical partitions.
constexpr int NO_PRIMARY = -1;
int next_primary(xdio_partition* part, int number)
{
    const int wanted = part->wanted;
    if (wanted < FIRST_LOGICAL) {
        const table_entry e = entry(wanted);
        return e.type == 0 ? 1 : yield(part, wanted, e, 0);
    }
    if (wanted == XDIO_PART_NONE) {
        for (int slot = number; slot < PRIMARY_SLOTS; ++slot) {
            const table_entry e = entry(slot);
            if (e.type != 0)
                return yield(part, slot, e, 0);
        }
    }
    return NO_PRIMARY;
}

// Where the chain goes on for partition `number`: the first EBR when it is the
// first logical number (the buffer still holds the master boot record), else
// the EBR after partition number - 1's, which the buffer holds and is not read
// again.
bool chain_from(xdio_partition* part, int number, chain_memory* chain, uint64_t* ebr)
{
    if (number != FIRST_LOGICAL) {
        std::memcpy(chain, xdio_sector_buf, sizeof *chain);
        return next_link(part, ebr);
    }
    int slot = 0;
    while (slot < PRIMARY_SLOTS && !is_extended(entry(slot).type))
        ++slot;
    if (slot == PRIMARY_SLOTS)
        return false;
    part->ext_base = entry(slot).first;
    *ebr = part->ext_base;
    chain->ebrs_read = 0;
    return true;
}

// Logical partition `number` (or the wanted one) along the chain of EBRs.
int next_logical(xdio_device* dev, xdio_partition* part, int number)
{
    const int wanted = part->wanted;
    chain_memory chain;
    uint64_t ebr;
    if (!chain_from(part, number, &chain, &ebr))
        return 1;
    uint32_t without_partition = 0;
    for (;;) {
        part->start = ebr;
        if (!read_ebr(dev, &chain, ebr))
            return 1;
        const table_entry first = entry(0);
        if (first.type == 0 || is_extended(first.type)) {
            if (++without_partition > MAX_EBRS_WITHOUT_PARTITION)
                return 1;
            if (first.type != 0) {
                // A link in the partition's place: the next EBR, same number.
                if (first.first == 0)
                    return 1;
                ebr = static_cast<uint64_t>(part->ext_base) + first.first;
                continue;
            }
        } else {
            if (wanted == XDIO_PART_NONE || wanted == number)
                return yield(part, number, first, ebr);
            // wanted > number here, so number stays within those a partition gets.
            ++number;
            without_partition = 0;
        }
        if (!next_link(part, &ebr))
            return 1;
    }
}

} // namespace

int xdio_next_partition(xdio_device* dev, xdio_partition* part)
{
    // The number the next partition found will get.
    int number = 0;
    if (part->index == XDIO_PART_NONE) {
        if (!begin_walk(dev, part))
            return 1;
    } else {
        number = part->index + 1;
    }
    const int wanted = part->wanted;
    if (number > LAST_PARTITION || (wanted != XDIO_PART_NONE && wanted < number))
        return 1;
    if (part->scheme == XDIO_SCHEME_GPT)
        return next_gpt_entry(part, number);
    if (number < FIRST_LOGICAL) {
        const int primary = next_primary(part, number);
        if (primary != NO_PRIMARY)
            return primary;
        number = FIRST_LOGICAL;
    }
    return next_logical(dev, part, number);
}
