#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "disk/partition_walk.h"
#include "tests/disk/disk_image.h"
#include "tests/disk/walk_fixture.h"

namespace {

constexpr uint64_t DISK = 100000; // sectors
constexpr uint64_t LAST = DISK - 1;
constexpr uint64_t TWO_TIB = uint64_t(1) << 32; // in sectors
constexpr int MBR_READS = 1;
constexpr int TABLE_READS = 1 + 32; // a header and an array of 128 entries

// Slots 0, 2 and 5 in use, 1, 3 and 4 not; slot 5 lies before slot 2.
const std::vector<gpt_entry> ENTRIES = {{0, 2048, 4095}, {2, 20480, 40959}, {5, 8192, 10239}};

std::vector<walked> as_walked(const std::vector<gpt_entry>& entries)
{
    std::vector<walked> parts;
    for (const gpt_entry& e : entries)
        parts.push_back({int(e.slot), XDIO_TYPE_GPT, e.first, e.last - e.first + 1});
    return parts;
}

void put_mbr_entry(sparse_disk& disk, uint64_t lba, int slot, uint8_t type, uint32_t first,
                   uint32_t length)
{
    sector_of(disk, lba)[446 + 16 * slot + 4] = type;
    put_le(disk, lba, 446 + 16 * slot + 8, first, 4);
    put_le(disk, lba, 446 + 16 * slot + 12, length, 4);
    put_le(disk, lba, 510, 0xAA55, 2);
}

TEST_F(PartitionWalk, GptEntriesAreNumberedByTheirSlotsReadingTheTableOnce)
{
    const walk_result r = walk(make_gpt_disk(DISK, ENTRIES));
    EXPECT_EQ(r.parts, as_walked(ENTRIES));
    EXPECT_EQ(r.reads, MBR_READS + TABLE_READS);
    EXPECT_EQ(r.final_index, 5);
}

TEST_F(PartitionWalk, AWantedGptSlotIsYieldedAloneAndOnlyOnce)
{
    const sparse_disk disk = make_gpt_disk(DISK, ENTRIES);
    for (const gpt_entry& e : ENTRIES) {
        const walk_result r = walk(disk, static_cast<uint8_t>(e.slot));
        EXPECT_EQ(r.parts, as_walked({e}));
        EXPECT_EQ(r.reads, MBR_READS + TABLE_READS);
    }
    for (uint8_t unused : {1, 3, 4, 6, 127, 128})
        EXPECT_TRUE(walk(disk, unused).parts.empty()) << int(unused);
}

TEST_F(PartitionWalk, AProtectiveEntryInAnySlotBesideOthersLeadsToTheGpt)
{
    sparse_disk hybrid = make_gpt_disk(DISK, ENTRIES);
    put_mbr_entry(hybrid, 0, 2, 0x0C, 20480, 20480); // mirrors slot 2, as hybrid tables do
    EXPECT_EQ(walk(hybrid).parts, as_walked(ENTRIES));

    sparse_disk last_slot = make_gpt_disk(DISK, ENTRIES);
    put_mbr_entry(last_slot, 0, 0, 0, 0, 0);
    put_mbr_entry(last_slot, 0, 3, 0xEE, 1, uint32_t(LAST));
    EXPECT_EQ(walk(last_slot).parts, as_walked(ENTRIES));

    // No protective entry: the table is not looked for.
    sparse_disk unprotected = make_gpt_disk(DISK, ENTRIES);
    put_mbr_entry(unprotected, 0, 0, 0x83, 2048, 2048);
    const walk_result r = walk(unprotected);
    EXPECT_EQ(r.parts, (std::vector<walked>{{0, 0x83, 2048, 2048}}));
    EXPECT_EQ(r.reads, MBR_READS);
}

TEST_F(PartitionWalk, ADamagedPrimaryGptGivesWayToTheBackup)
{
    sparse_disk header = make_gpt_disk(DISK, ENTRIES);
    sector_of(header, 1)[60] ^= 1; // the disk's GUID, under the header's CRC
    walk_result r = walk(header);
    EXPECT_EQ(r.parts, as_walked(ENTRIES));
    EXPECT_EQ(r.reads, MBR_READS + 1 + TABLE_READS);

    sparse_disk signature = make_gpt_disk(DISK, ENTRIES);
    sector_of(signature, 1)[0] = 'X';
    EXPECT_EQ(walk(signature).parts, as_walked(ENTRIES));

    sparse_disk entries = make_gpt_disk(DISK, ENTRIES);
    sector_of(entries, 2)[128 * 2 + 60] ^= 1; // slot 2's name, under the array's CRC
    r = walk(entries);
    EXPECT_EQ(r.parts, as_walked(ENTRIES));
    EXPECT_EQ(r.reads, MBR_READS + 2 * TABLE_READS);
}

TEST_F(PartitionWalk, BothGptsDamagedYieldNothing)
{
    sparse_disk headers = make_gpt_disk(DISK, ENTRIES);
    sector_of(headers, 1)[60] ^= 1;
    sector_of(headers, LAST)[60] ^= 1;
    walk_result r = walk(headers);
    EXPECT_TRUE(r.parts.empty());
    EXPECT_EQ(r.reads, MBR_READS + 2);

    sparse_disk arrays = make_gpt_disk(DISK, ENTRIES);
    sector_of(arrays, 2)[60] ^= 1;
    sector_of(arrays, LAST - 32)[60] ^= 1;
    r = walk(arrays);
    EXPECT_TRUE(r.parts.empty());
    EXPECT_EQ(r.reads, MBR_READS + 2 * TABLE_READS);

    sparse_disk header_and_array = make_gpt_disk(DISK, ENTRIES);
    sector_of(header_and_array, 1)[60] ^= 1;
    sector_of(header_and_array, LAST - 1)[60] ^= 1; // the backup array's last sector
    EXPECT_TRUE(walk(header_and_array).parts.empty());
}

TEST_F(PartitionWalk, TheBackupIsWhereASoundPrimaryHeaderSays)
{
    // The disk grew after it was partitioned: its end holds no header.
    sparse_disk grown = make_gpt_disk(DISK, ENTRIES);
    grown.sectors = DISK + 5000;
    sector_of(grown, 2)[60] ^= 1;
    EXPECT_EQ(walk(grown).parts, as_walked(ENTRIES));

    // With the primary header damaged as well, only the disk's end is left.
    sector_of(grown, 1)[60] ^= 1;
    const walk_result r = walk(grown);
    EXPECT_TRUE(r.parts.empty());
    EXPECT_EQ(r.reads, MBR_READS + 2);
}

// One change to one table, made consistent again: the CRCs describe it.
struct table_change {
    const char* what;
    std::function<void(sparse_disk&, uint64_t header)> apply;
};

uint64_t array_of(uint64_t header)
{
    return header == 1 ? 2 : LAST - 32;
}

std::function<void(sparse_disk&, uint64_t)> field(std::size_t offset, int bytes, uint64_t value)
{
    return [=](sparse_disk& d, uint64_t h) { put_le(d, h, offset, value, bytes); };
}

std::function<void(sparse_disk&, uint64_t)> entry_sectors(uint32_t slot, uint64_t first,
                                                          uint64_t last)
{
    return [=](sparse_disk& d, uint64_t h) {
        put_le(d, array_of(h) + slot / 4, 128 * (slot % 4) + 32, first, 8);
        put_le(d, array_of(h) + slot / 4, 128 * (slot % 4) + 40, last, 8);
    };
}

const std::vector<table_change> HOSTILE = {
    {"a revision other than 1.0", field(GPT_REVISION, 4, 0x00020000)},
    {"a header shorter than its fields", field(GPT_HEADER_SIZE, 4, 91)},
    {"a header longer than its sector", field(GPT_HEADER_SIZE, 4, 513)},
    {"a header that is not where it says", field(GPT_MY_LBA, 8, 7)},
    {"an absurd entry count", field(GPT_ENTRY_COUNT, 4, 0xFFFFFFFF)},
    {"one entry more than the bound", field(GPT_ENTRY_COUNT, 4, 1025)},
    {"an entry size of 0", field(GPT_ENTRY_SIZE, 4, 0)},
    {"an entry size of 100", field(GPT_ENTRY_SIZE, 4, 100)},
    {"an absurd entry size", field(GPT_ENTRY_SIZE, 4, 0x80000000u)},
    {"the array over the header", field(GPT_ENTRIES_LBA, 8, 1)},
    {"the array beyond the disk", field(GPT_ENTRIES_LBA, 8, uint64_t(1) << 62)},
    {"usable sectors from the header on", field(GPT_FIRST_USABLE, 8, 1)},
    {"usable sectors that end before they start", field(GPT_LAST_USABLE, 8, 30)},
    {"usable sectors past the disk's end", field(GPT_LAST_USABLE, 8, DISK + 10)},
    {"the other header past the disk's end", field(GPT_ALTERNATE_LBA, 8, DISK + 1000)},
    {"the header pointing at itself",
     [](sparse_disk& d, uint64_t h) { put_le(d, h, GPT_ALTERNATE_LBA, h, 8); }},
    {"an entry past the disk's end", entry_sectors(2, 20480, DISK + 50)},
    {"an entry over the array", entry_sectors(2, 1, 4000)},
    {"an entry starting after its end", entry_sectors(2, 40960, 20480)},
    {"two entries overlapping by a sector", entry_sectors(2, 10239, 20000)},
    {"two entries in one place", entry_sectors(2, 2048, 4095)},
};

// Each change to the primary alone leaves the backup to list the disk; to
// both tables, nothing. Never more reads than the two tables have.
TEST_F(PartitionWalk, HostileGptsCostBoundedReadsAndNameNothingWrong)
{
    for (const table_change& change : HOSTILE) {
        SCOPED_TRACE(change.what);
        sparse_disk disk = make_gpt_disk(DISK, ENTRIES);
        change.apply(disk, 1);
        seal_gpt_header(disk, 1);
        walk_result r = walk(disk);
        EXPECT_EQ(r.parts, as_walked(ENTRIES));
        EXPECT_LE(r.reads, MBR_READS + 2 * TABLE_READS);

        change.apply(disk, LAST);
        seal_gpt_header(disk, LAST);
        r = walk(disk);
        EXPECT_TRUE(r.parts.empty());
        EXPECT_LE(r.reads, MBR_READS + 2 * TABLE_READS);
    }
}

TEST_F(PartitionWalk, GptEntriesOfAnySizeAndCountWithinTheBound)
{
    // 256- and 384-byte entries; the latter straddle sectors.
    for (uint32_t size : {256u, 384u})
        EXPECT_EQ(walk(make_gpt_disk(DISK, ENTRIES, 128, size)).parts, as_walked(ENTRIES)) << size;

    const walk_result small = walk(make_gpt_disk(DISK, ENTRIES, 8));
    EXPECT_EQ(small.parts, as_walked(ENTRIES));
    EXPECT_EQ(small.reads, MBR_READS + 1 + 2);

    // The largest table: 1024 entries in 256 sectors, the last slot in use.
    std::vector<gpt_entry> far_slot = ENTRIES;
    far_slot.push_back({1023, 50000, 50099});
    const walk_result largest = walk(make_gpt_disk(DISK, far_slot, 1024));
    EXPECT_EQ(largest.parts, as_walked(ENTRIES)); // slot 1023 has no GRUB number here
    EXPECT_EQ(largest.reads, MBR_READS + 1 + int(XDIO_GPT_MAX_ARRAY_SECTORS));

    // A slot beyond 254 that overlaps another is still found out.
    far_slot.back() = {1023, 2048, 2050};
    EXPECT_TRUE(walk(make_gpt_disk(DISK, far_slot, 1024)).parts.empty());
}

TEST_F(PartitionWalk, NoGptSlotAbove254)
{
    std::vector<gpt_entry> every;
    for (uint32_t slot = 0; slot < 256; ++slot)
        every.push_back({slot, 100 + 10 * uint64_t(slot), 109 + 10 * uint64_t(slot)});
    const walk_result r = walk(make_gpt_disk(DISK, every, 256));
    ASSERT_EQ(r.parts.size(), 255u);
    EXPECT_EQ(r.parts.back(), (walked{254, XDIO_TYPE_GPT, 2640, 10}));
    EXPECT_EQ(r.reads, MBR_READS + 1 + 64);
}

// Past 2 TiB, on a sparse 3 TiB disk: a partition across the border and one
// beyond it, found also through the backup at the disk's end, whose place
// the protective entry no longer tells.
TEST_F(PartitionWalk, GptPositionsPast2TiB)
{
    const uint64_t sectors = 3 * TWO_TIB / 2;
    const std::vector<gpt_entry> far = {
        {1, 2048, 1000000}, {3, TWO_TIB - 100, TWO_TIB + 5000}, {4, 5000000000, 6000000000}};
    sparse_disk disk = make_gpt_disk(sectors, far);
    EXPECT_EQ(walk(disk).parts, as_walked(far));
    EXPECT_EQ(walk(disk, 4).parts, as_walked({far[2]}));

    sector_of(disk, 1)[60] ^= 1;
    const walk_result r = walk(disk);
    EXPECT_EQ(r.parts, as_walked(far));
    EXPECT_EQ(r.reads, MBR_READS + 1 + TABLE_READS);
}

// An extended boot record near the end of what 32 bits reach, whose logical
// partition lies past it: the first sector is the sum, not its low 32 bits.
TEST_F(PartitionWalk, ALogicalPartitionPast2TiBIsNotWrappedRound)
{
    const uint32_t ebr = 0xFFFFFF00u;
    sparse_disk disk;
    disk.sectors = uint64_t(ebr) + 0x2000;
    put_mbr_entry(disk, 0, 0, 0x83, 2048, 4096);
    put_mbr_entry(disk, 0, 1, 0x0F, ebr, 0x1000);
    put_mbr_entry(disk, ebr, 0, 0x83, 0x200, 100);
    const walk_result r = walk(disk);
    EXPECT_EQ(r.parts, (std::vector<walked>{{0, 0x83, 2048, 4096},
                                            {1, 0x0F, ebr, 0x1000},
                                            {4, 0x83, uint64_t(ebr) + 0x200, 100}}));
}

} // namespace
