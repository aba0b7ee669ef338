#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "disk/partition_match.h"
#include "disk/partition_walk.h"
#include "disk/xdio.h"

// Images that sfdisk partitioned at build time, with sfdisk's own dump of
// each (make_sfdisk_images.sh).
#ifndef SFDISK_IMAGES
#error SFDISK_IMAGES must name the folder of the sfdisk images
#endif

namespace {

struct listed {
    int number; // GRUB's
    uint32_t start;
    uint32_t size;
    int type;
    bool operator==(const listed& o) const
    {
        return number == o.number && start == o.start && size == o.size && type == o.type;
    }
};

void PrintTo(const listed& p, std::ostream* os)
{
    *os << "{" << p.number << ", " << p.start << ", " << p.size << ", 0x" << std::hex << p.type
        << std::dec << "}";
}

// The partitions of a dump ("NAMEn : start= S, size= L, type=T"), numbered
// the GRUB way: Linux's partition n is GRUB's n - 1.
std::vector<listed> read_dump(const std::string& path)
{
    std::vector<listed> parts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t colon = line.find(" : start=");
        if (colon == std::string::npos)
            continue;
        std::size_t digits = colon;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1])))
            --digits;
        listed p;
        p.number = std::atoi(line.c_str() + digits) - 1;
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
    const std::vector<listed> expected = read_dump(dump());
    ASSERT_GE(expected.size(), 12u) << dump();

    xdio_device* dev = xdio_open(image().c_str(), 0);
    ASSERT_NE(dev, nullptr) << image();
    std::vector<listed> walked;
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    while (xdio_next_partition(dev, &part) == 0 && walked.size() < 100)
        walked.push_back({part.index, part.start, part.size, part.type});
    EXPECT_EQ(walked, expected);

    for (const listed& p : expected) {
        const int64_t offset = int64_t(p.start) * 512;
        const int64_t length = int64_t(p.size) * 512;
        EXPECT_EQ(grub_partition_of_extent(dev, offset, length), p.number);
        EXPECT_EQ(grub_partition_of_extent(dev, offset, length - 512), -1);

        part.index = XDIO_PART_NONE;
        part.wanted = static_cast<uint8_t>(p.number);
        ASSERT_EQ(xdio_next_partition(dev, &part), 0);
        EXPECT_EQ(part.start, p.start);
        EXPECT_EQ(xdio_next_partition(dev, &part), 1);
    }
    xdio_close(dev);
}

INSTANTIATE_TEST_SUITE_P(TwoLayouts, SfdiskImage, testing::Values("sfdisk_a", "sfdisk_b"));

} // namespace
