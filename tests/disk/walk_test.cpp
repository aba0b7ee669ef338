#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "disk/partition_walk.h"
#include "disk/xdio.h"
#include "tests/disk/disk_image.h"
#include "tests/disk/walk_fixture.h"
#include "tests/substitutes/traced_xdio.h"

namespace {

// A disk of `sectors` whose primary table holds `entries`, each in slot `index`.
disk_image with_primaries(uint32_t sectors, const std::vector<walked>& entries)
{
    disk_image image = make_image(sectors);
    for (const walked& e : entries)
        put_entry(image, 0, e.index, static_cast<uint8_t>(e.type), e.start, e.size);
    return image;
}

// Primary 63+100, extended at 200 (1000 sectors) with EBRs at 200, 400 and
// 700, each holding a partition 63 sectors after it.
disk_image linked_example(bool empty_middle)
{
    disk_image image = with_primaries(1200, {{0, 0x83, 63, 100}, {1, 0x05, 200, 1000}});
    put_chain(image, 200,
              {{0, 0x83, 63, 100},
               {200, uint8_t(empty_middle ? 0 : 0x83), 63, 100},
               {500, 0x83, 63, 100}});
    return image;
}

TEST_F(PartitionWalk, ListsPrimariesThenLogicalsReadingEachTableOnce)
{
    const walk_result r = walk(linked_example(false));
    const std::vector<walked> expected = {{0, 0x83, 63, 100},
                                          {1, 0x05, 200, 1000},
                                          {4, 0x83, 263, 100},
                                          {5, 0x83, 463, 100},
                                          {6, 0x83, 763, 100}};
    EXPECT_EQ(r.parts, expected);
    EXPECT_EQ(r.reads, 4); // the MBR and three EBRs
    EXPECT_EQ(r.final_index, 6);
}

TEST_F(PartitionWalk, AnEmptyEbrGivesNoNumber)
{
    const walk_result r = walk(linked_example(true));
    const std::vector<walked> expected = {
        {0, 0x83, 63, 100}, {1, 0x05, 200, 1000}, {4, 0x83, 263, 100}, {5, 0x83, 763, 100}};
    EXPECT_EQ(r.parts, expected);
    EXPECT_EQ(r.reads, 4);
}

TEST_F(PartitionWalk, OtherReadsOfTheDeviceBetweenCallsDoNoHarm)
{
    xdio_device* dev = xdio_open(save(linked_example(false)).c_str(), 0);
    ASSERT_NE(dev, nullptr);
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    std::vector<uint32_t> starts;
    uint8_t own[XDIO_SECTOR_SIZE];
    while (xdio_next_partition(dev, &part) == 0) {
        starts.push_back(part.start);
        ASSERT_EQ(xdio_seek(dev, 1100), 0);
        ASSERT_EQ(xdio_read(dev, own, 1), 0);
    }
    xdio_close(dev);
    EXPECT_EQ(starts, (std::vector<uint32_t>{63, 200, 263, 463, 763}));
}

TEST_F(PartitionWalk, APrimaryTableThatFailsItsChecksYieldsNothing)
{
    disk_image unsigned_table = with_primaries(400, {{0, 0x83, 63, 100}});
    unsigned_table.bytes[511] = 0;
    EXPECT_TRUE(walk(unsigned_table).parts.empty());

    disk_image empty_table = make_image(400);
    put_signature(empty_table, 0);
    EXPECT_TRUE(walk(empty_table).parts.empty());

    // A zero length, a partition at sector zero, one a sector too long, and
    // one running past the last 32-bit sector, which is no way round the
    // overlap check.
    const std::vector<walked> tables[] = {{{0, 0x83, 63, 100}, {2, 0x07, 200, 0}},
                                          {{1, 0x83, 0, 100}},
                                          {{0, 0x83, 63, 138}, {1, 0x83, 200, 100}},
                                          {{0, 0x83, 100, 0xFFFFFFF0u}, {1, 0x83, 200, 10}}};
    for (const std::vector<walked>& entries : tables)
        EXPECT_TRUE(walk(with_primaries(400, entries)).parts.empty())
            << entries[0].start << " " << entries[0].size;

    // A failing primary table hides its logical partitions too.
    disk_image bad_with_chain = linked_example(false);
    put_entry(bad_with_chain, 0, 2, 0x83, 1100, 0);
    EXPECT_TRUE(walk(bad_with_chain).parts.empty());
}

TEST_F(PartitionWalk, PrimariesThatTouchOrComeOutOfOrderPass)
{
    const std::vector<walked> touching = {{0, 0x83, 63, 137}, {1, 0x83, 200, 100}};
    EXPECT_EQ(walk(with_primaries(400, touching)).parts, touching);
    const std::vector<walked> reversed = {{0, 0x07, 300, 100}, {1, 0x0B, 63, 100}};
    EXPECT_EQ(walk(with_primaries(400, reversed)).parts, reversed);
}

TEST_F(PartitionWalk, EmptySlotsKeepTheirNumbers)
{
    const std::vector<walked> entries = {{0, 0x83, 63, 100}, {2, 0x07, 200, 100}};
    const walk_result r = walk(with_primaries(400, entries));
    EXPECT_EQ(r.parts, entries);
    EXPECT_EQ(r.reads, 1);
}

// The extended partition in each slot, of each extended type.
TEST_F(PartitionWalk, AnExtendedPartitionInAnySlotLeadsToItsChain)
{
    for (uint8_t type : {uint8_t(0x05), uint8_t(0x0F)}) {
        for (int slot = 0; slot < 4; ++slot) {
            SCOPED_TRACE("slot " + std::to_string(slot) + " type " + std::to_string(type));
            disk_image image = make_image(1000);
            std::vector<walked> expected;
            for (int s = 0; s < 4; ++s) {
                if (s == slot) {
                    put_entry(image, 0, s, type, 500, 400);
                    expected.push_back({s, type, 500, 400});
                } else {
                    put_entry(image, 0, s, 0x83, 10 + 100 * s, 50);
                    expected.push_back({s, 0x83, uint32_t(10 + 100 * s), 50});
                }
            }
            put_chain(image, 500, {{0, 0x0C, 2, 30}, {40, 0x83, 1, 0}});
            expected.push_back({4, 0x0C, 502, 30});
            expected.push_back({5, 0x83, 541, 0}); // a logical of length 0 stands as it is
            EXPECT_EQ(walk(image).parts, expected);
        }
    }
}

TEST_F(PartitionWalk, OnlyTheFirstExtendedSlotIsFollowedAndType85LeadsNowhere)
{
    disk_image image = with_primaries(1000, {{0, 0x85, 100, 100}});
    put_chain(image, 100, {{0, 0x83, 1, 10}});
    put_entry(image, 0, 1, 0x0F, 300, 100);
    put_chain(image, 300, {{0, 0x83, 1, 20}});
    put_entry(image, 0, 2, 0x05, 500, 100);
    put_chain(image, 500, {{0, 0x83, 1, 30}});
    EXPECT_EQ(
        walk(image).parts,
        (std::vector<walked>{
            {0, 0x85, 100, 100}, {1, 0x0F, 300, 100}, {2, 0x05, 500, 100}, {4, 0x83, 301, 20}}));

    disk_image only_85 = with_primaries(400, {{0, 0x85, 100, 100}});
    put_chain(only_85, 100, {{0, 0x83, 1, 10}});
    const walk_result r = walk(only_85);
    EXPECT_EQ(r.parts, (std::vector<walked>{{0, 0x85, 100, 100}}));
    EXPECT_EQ(r.reads, 1);
}

TEST_F(PartitionWalk, AWantedPartitionIsYieldedAloneAndOnlyOnce)
{
    disk_image slot2_empty = with_primaries(400, {{0, 0x83, 63, 100}, {3, 0x83, 200, 100}});
    EXPECT_TRUE(walk(slot2_empty, 2).parts.empty());
    EXPECT_EQ(walk(slot2_empty, 3).parts, (std::vector<walked>{{3, 0x83, 200, 100}}));
    EXPECT_TRUE(walk(slot2_empty, 4).parts.empty()); // no extended partition

    const walk_result fifth = walk(linked_example(false), 5);
    EXPECT_EQ(fifth.parts, (std::vector<walked>{{5, 0x83, 463, 100}}));
    EXPECT_EQ(fifth.reads, 3);
    EXPECT_EQ(walk(linked_example(false), 1).parts, (std::vector<walked>{{1, 0x05, 200, 1000}}));
    EXPECT_EQ(walk(linked_example(true), 5).parts, (std::vector<walked>{{5, 0x83, 763, 100}}));
    EXPECT_TRUE(walk(linked_example(true), 6).parts.empty());
}

TEST_F(PartitionWalk, ALinkInAPartitionsPlaceKeepsTheNumberForTheNextEbr)
{
    disk_image image = with_primaries(1000, {{0, 0x05, 100, 800}});
    put_signature(image, 100);
    put_entry(image, 100, 0, 0x0F, 50, 1); // a link where the partition would be
    put_chain(image, 100, {{50, 0x83, 3, 7}, {90, 0x07, 3, 8}});
    const walk_result r = walk(image);
    EXPECT_EQ(r.parts,
              (std::vector<walked>{{0, 0x05, 100, 800}, {4, 0x83, 153, 7}, {5, 0x07, 193, 8}}));
    EXPECT_EQ(r.reads, 4);
}

TEST_F(PartitionWalk, AChainEndsAtABrokenOrMissingEbr)
{
    disk_image unsigned_ebr = linked_example(false);
    unsigned_ebr.bytes[400 * 512 + 510] = 0;
    EXPECT_EQ(walk(unsigned_ebr).parts.size(), 3u);

    disk_image beyond_end = linked_example(false);
    beyond_end.bytes.resize(600 * 512); // the third EBR is past the end of the image
    EXPECT_EQ(walk(beyond_end).parts.size(), 4u);
}

// 251 logical partitions, their EBRs in no particular order on the disk.
disk_image long_chain(int logicals)
{
    disk_image image = with_primaries(2 + 4 * 256, {{0, 0x0F, 1, 4 * 256}});
    std::vector<ebr_record> chain;
    for (int i = 0; i < logicals; ++i) {
        const uint32_t offset = i == 0 ? 0 : 4 * uint32_t((i * 97) % 256);
        chain.push_back({offset, 0x83, 1, uint32_t(i + 1)});
    }
    put_chain(image, 1, chain);
    return image;
}

TEST_F(PartitionWalk, EveryOneOf251LogicalPartitionsIsListed)
{
    const walk_result r = walk(long_chain(251));
    ASSERT_EQ(r.parts.size(), 1u + 251u);
    for (int i = 0; i < 251; ++i) {
        const uint32_t offset = i == 0 ? 0 : 4 * uint32_t((i * 97) % 256);
        EXPECT_EQ(r.parts[1 + i], (walked{4 + i, 0x83, 2 + offset, uint32_t(i + 1)}));
    }
    EXPECT_EQ(r.reads, 1 + 251);

    const walk_result last = walk(long_chain(251), 254);
    EXPECT_EQ(last.parts.size(), 1u);
    EXPECT_EQ(last.reads, 1 + 251);
}

TEST_F(PartitionWalk, NoNumberAbove254)
{
    const walk_result r = walk(long_chain(256));
    ASSERT_EQ(r.parts.size(), 1u + 251u);
    EXPECT_EQ(r.parts.back().index, 254);
    EXPECT_EQ(r.reads, 1 + 251); // the EBR after partition 254 is not read
}

TEST_F(PartitionWalk, AChainThatComesBackEndsAtTheLinkThatCloses)
{
    disk_image loop = with_primaries(400, {{0, 0x05, 100, 200}});
    put_chain(loop, 100, {{0, 0x83, 1, 5}, {10, 0x83, 1, 5}, {20, 0x83, 1, 5}});
    put_entry(loop, 120, 1, 0x05, 10, 1); // the third EBR links back to the second
    walk_result r = walk(loop);
    EXPECT_EQ(r.parts,
              (std::vector<walked>{
                  {0, 0x05, 100, 200}, {4, 0x83, 101, 5}, {5, 0x83, 111, 5}, {6, 0x83, 121, 5}}));
    EXPECT_EQ(r.reads, 4);
    EXPECT_TRUE(walk(loop, 7).parts.empty());

    disk_image self = with_primaries(400, {{0, 0x05, 100, 200}});
    put_chain(self, 100, {{0, 0x83, 1, 5}, {10, 0x83, 1, 5}});
    put_entry(self, 110, 1, 0x05, 10, 1);
    r = walk(self);
    EXPECT_EQ(r.parts.size(), 3u);
    EXPECT_EQ(r.reads, 3);

    disk_image self_link_first = with_primaries(400, {{0, 0x05, 100, 200}});
    put_chain(self_link_first, 100, {{0, 0x83, 1, 5}, {10, 0x05, 10, 1}});
    r = walk(self_link_first);
    EXPECT_EQ(r.parts.size(), 2u);
    EXPECT_EQ(r.reads, 3);
}

TEST_F(PartitionWalk, ALoopTooLongToRememberStillEndsWithinBounds)
{
    // 200 EBRs, the last linking back to the second.
    disk_image image = with_primaries(2 + 200, {{0, 0x05, 1, 200}});
    std::vector<ebr_record> chain;
    for (uint32_t i = 0; i < 200; ++i)
        chain.push_back({i, 0x83, 0, 1});
    put_chain(image, 1, chain);
    put_entry(image, 200, 1, 0x05, 1, 1);
    const walk_result r = walk(image);
    ASSERT_FALSE(r.parts.empty());
    EXPECT_LE(r.parts.back().index, 254);
    EXPECT_LE(r.reads, 1 + int(XDIO_MAX_EBRS_PER_WALK));
}

TEST_F(PartitionWalk, AChainOfEbrsWithoutPartitionsEndsSoon)
{
    // 1000 empty EBRs with a partition behind them.
    disk_image empties = with_primaries(1100, {{0, 0x05, 1, 1050}});
    std::vector<ebr_record> chain;
    for (uint32_t i = 0; i < 1000; ++i)
        chain.push_back({i, 0, 0, 0});
    chain.push_back({1000, 0x83, 1, 5});
    put_chain(empties, 1, chain);
    walk_result r = walk(empties);
    EXPECT_EQ(r.parts.size(), 1u);
    EXPECT_LE(r.reads, 1 + 40);

    // The same through EBRs whose first entry is a link to the next.
    disk_image links = with_primaries(1100, {{0, 0x0F, 1, 1050}});
    for (uint32_t i = 0; i < 1000; ++i)
        put_entry(links, 1 + i, 0, 0x05, i + 1, 1);
    put_entry(links, 1001, 0, 0x83, 1, 5);
    r = walk(links);
    EXPECT_EQ(r.parts.size(), 1u);
    EXPECT_LE(r.reads, 1 + 40);

    // A few of them, as a deleted partition leaves, do not end the chain.
    disk_image few = with_primaries(100, {{0, 0x05, 1, 90}});
    put_chain(few, 1, {{0, 0, 0, 0}, {10, 0, 0, 0}, {20, 0x05, 30, 1}, {30, 0x83, 1, 5}});
    r = walk(few);
    EXPECT_EQ(r.parts, (std::vector<walked>{{0, 0x05, 1, 90}, {4, 0x83, 32, 5}}));
    EXPECT_EQ(r.reads, 5);
}

} // namespace
