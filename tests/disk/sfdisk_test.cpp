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

// The partitions of a dump ("NAMEn : start= S, size= L, type=T"), numbered
// the GRUB way: Linux's partition n is GRUB's n - 1.
std::vector<walked> read_dump(const std::string& path)
{
    std::vector<walked> parts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t colon = line.find(" : start=");
        if (colon == std::string::npos)
            continue;
        std::size_t digits = colon;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1])))
            --digits;
        walked p;
        p.index = std::atoi(line.c_str() + digits) - 1;
        p.start = static_cast<uint32_t>(std::stoul(line.substr(colon + 9)));
        p.size = static_cast<uint32_t>(std::stoul(line.substr(line.find("size=") + 5)));
        p.type = static_cast<int>(std::stoul(line.substr(line.find("type=") + 5), nullptr, 16));
        parts.push_back(p);
    }
    return parts;
}

class SfdiskImage : public testing::TestWithParam<const char*> {
protected:
    std::string image() const { return std::string(SFDISK_IMAGES) + GetParam() + ".img"; }
    std::string dump() const { return std::string(SFDISK_IMAGES) + GetParam() + ".dump"; }
};

TEST_P(SfdiskImage, TheWalkListsWhatSfdiskWrote)
{
    const std::vector<walked> expected = read_dump(dump());
    ASSERT_GE(expected.size(), 12u) << dump();

    xdio_device* dev = xdio_open(image().c_str(), 0);
    ASSERT_NE(dev, nullptr) << image();
    std::vector<walked> found;
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    while (xdio_next_partition(dev, &part) == 0 && found.size() < 100)
        found.push_back({part.index, part.type, part.start, part.size});
    EXPECT_EQ(found, expected);

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

INSTANTIATE_TEST_SUITE_P(TwoLayouts, SfdiskImage, testing::Values("sfdisk_a", "sfdisk_b"));

} // namespace
