#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "disk/partition_match.h"
#include "disk/partition_walk.h"
#include "disk/xdio.h"
#include "tests/disk/disk_image.h"

// Images that sfdisk partitioned at build time, with sfdisk's own dump of
// each (make_sfdisk_images.sh).
#ifndef SFDISK_IMAGES
#error SFDISK_IMAGES must name the folder of the sfdisk images
#endif

namespace {

struct dump {
    std::string label; // "dos" or "gpt"
    std::vector<walked> parts;
};

// A dump's label and partitions ("NAMEn : start= S, size= L, type=T"),
// numbered the GRUB way: Linux's partition n is GRUB's n - 1, also for the
// slots of a GUID partition table, whose partitions the walk types 0xEE.
dump read_dump(const std::string& name)
{
    dump d;
    std::ifstream in(std::string(SFDISK_IMAGES) + name + ".dump");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("label: ", 0) == 0)
            d.label = line.substr(7);
        const std::size_t colon = line.find(" : start=");
        if (colon == std::string::npos)
            continue;
        std::size_t digits = colon;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1])))
            --digits;
        walked p;
        p.index = std::atoi(line.c_str() + digits) - 1;
        p.start = std::stoull(line.substr(colon + 9));
        p.size = std::stoull(line.substr(line.find("size=") + 5));
        p.type =
            d.label == "gpt"
                ? XDIO_TYPE_GPT
                : static_cast<int>(std::stoul(line.substr(line.find("type=") + 5), nullptr, 16));
        d.parts.push_back(p);
    }
    return d;
}

std::vector<walked> walk_image(xdio_device* dev)
{
    std::vector<walked> found;
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    while (xdio_next_partition(dev, &part) == 0 && found.size() < 300)
        found.push_back({part.index, part.type, part.start, part.size});
    return found;
}

class SfdiskImage : public testing::TestWithParam<const char*> {
protected:
    std::string image() const { return std::string(SFDISK_IMAGES) + GetParam() + ".img"; }
};

// The walk lists what sfdisk reads back, each partition is named by its
// place, and each is found alone when asked for.
TEST_P(SfdiskImage, TheWalkListsWhatSfdiskWrote)
{
    const std::vector<walked> expected = read_dump(GetParam()).parts;
    ASSERT_GE(expected.size(), 3u) << GetParam();

    xdio_device* dev = xdio_open(image().c_str(), 0);
    ASSERT_NE(dev, nullptr) << image();
    EXPECT_EQ(walk_image(dev), expected);

    xdio_partition part{};
    for (const walked& p : expected) {
        const int64_t offset = int64_t(p.start) * 512;
        const int64_t length = int64_t(p.size) * 512;
        EXPECT_EQ(grub_partition_of_extent(dev, offset, length), p.index);
        EXPECT_EQ(grub_partition_of_extent(dev, offset, length - 512), -1);

        part.index = XDIO_PART_NONE;
        part.wanted = static_cast<uint8_t>(p.index);
        ASSERT_EQ(xdio_next_partition(dev, &part), 0);
        EXPECT_EQ(part.start, p.start);
        EXPECT_EQ(xdio_next_partition(dev, &part), 1);
    }
    xdio_close(dev);
}

INSTANTIATE_TEST_SUITE_P(MasterBootRecords, SfdiskImage, testing::Values("sfdisk_a", "sfdisk_b"));
INSTANTIATE_TEST_SUITE_P(GuidPartitionTables, SfdiskImage,
                         testing::Values("gpt_a", "gpt_big", "gpt_a_header", "gpt_a_entries"));

TEST(SfdiskGpt, UnusedSlotsKeepTheirNumbersAndDamageChangesNothing)
{
    const dump intact = read_dump("gpt_a");
    EXPECT_EQ(intact.label, "gpt");
    std::vector<int> slots;
    for (const walked& p : intact.parts)
        slots.push_back(p.index);
    EXPECT_EQ(slots, (std::vector<int>{1, 3, 4, 7}));
    // sfdisk, too, reads the damaged tables' backups.
    EXPECT_EQ(read_dump("gpt_a_header").parts, intact.parts);
    EXPECT_EQ(read_dump("gpt_a_entries").parts, intact.parts);
    EXPECT_GT(read_dump("gpt_big").parts.back().start, 0xFFFFFFFFu);
}

TEST(SfdiskGpt, BothHeadersDamagedYieldNothing)
{
    // sfdisk sees only the protective entry.
    const dump seen = read_dump("gpt_a_headers");
    EXPECT_EQ(seen.label, "dos");
    ASSERT_EQ(seen.parts.size(), 1u);
    EXPECT_EQ(seen.parts[0].type, 0xEE);

    xdio_device* dev = xdio_open((std::string(SFDISK_IMAGES) + "gpt_a_headers.img").c_str(), 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_TRUE(walk_image(dev).empty());
    for (const walked& p : read_dump("gpt_a").parts)
        EXPECT_EQ(grub_partition_of_extent(dev, int64_t(p.start) * 512, int64_t(p.size) * 512), -1);
    xdio_close(dev);
}

} // namespace
