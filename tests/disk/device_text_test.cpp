#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "disk/descriptor_io.h"
#include "disk/drive_class.h"
#include "disk/xdio.h"
#include "tests/disk/disk_image.h"
#include "tests/disk/traced_images.h"
#include "tests/substitutes/traced_xdio.h"

namespace {

class DeviceText : public TracedImages {
protected:
    DeviceText() : TracedImages("dev", {"hd0.img", "hd1.img", "fdA.img"}) {}

    // The path xdio_open tried for `text`, or "" when it tried none.
    std::string path_tried(const char* text, int writable = 0)
    {
        trace.opens = 0;
        trace.last_path.clear();
        xdio_close(xdio_open(text, writable));
        return trace.opens == 0 ? std::string() : trace.last_path;
    }
};

TEST_F(DeviceText, RefusedTextOpensNothing)
{
    for (const char* text : {"(hd10)", "(hd0,30)", "(fd2)", "(hd012)", "(hd-1)", "(hd0,-1)",
                             "(cd0)", "(hd0", "(hd0) ", "(hd0)x", "(hd0,1,2)", "(hd0 )", "(h", "(",
                             "(HD0)", "(hd0,,)", "(hd4294967296)", "(fd0x2)"}) {
        EXPECT_EQ(xdio_open(text, 0), nullptr) << text;
        EXPECT_EQ(path_tried(text), "") << text;
    }
}

TEST_F(DeviceText, NumbersReadAsStrtolReadsThem)
{
    // Each device path, with the texts that name it.
    const std::pair<const char*, std::vector<const char*>> named[] = {
        {"\\\\.\\PhysicalDrive0", {"(hd0)", "(hd)", "(hd-0)"}},
        {"\\\\.\\PhysicalDrive9", {"(hd9,29)", "(hd0X9)", "(hd011)"}},
        {"\\\\.\\PhysicalDrive1", {"(hd0x1)"}},
        {"\\\\.\\PhysicalDrive7", {"(hd+7)"}},
        {"\\\\.\\PhysicalDrive3", {"(hd 3)"}},
        {"\\\\.\\PhysicalDrive2", {"(hd2,035)"}},
        {"\\\\.\\A:", {"(fd0)"}},
        {"\\\\.\\B:", {"(fd1,3)", "(fd01)"}}};
    for (const auto& device : named)
        for (const char* text : device.second)
            EXPECT_EQ(path_tried(text), device.first) << text;
}

TEST_F(DeviceText, OtherTextIsAPathAndWritableChoosesTheAccess)
{
    EXPECT_EQ(path_tried("hd0"), "hd0");
    EXPECT_EQ(path_tried(" (hd0)"), " (hd0)");
    EXPECT_EQ(path_tried("\\\\.\\PhysicalDrive12"), "\\\\.\\PhysicalDrive12");

    path_tried("(hd0)", 0);
    EXPECT_EQ(trace.last_flags, _O_RDONLY | _O_BINARY);
    path_tried("(hd0)", 5);
    EXPECT_EQ(trace.last_flags, _O_RDWR | _O_BINARY);
}

// Disk 1: primary at 63, extended at 2048 with logicals at 2111 and 4096;
// each partition's first sector carries its name.
disk_image disk_with_logicals()
{
    disk_image image = make_image(6000);
    put_entry(image, 0, 0, 0x07, 63, 1985);
    put_entry(image, 0, 1, 0x05, 2048, 3900);
    put_chain(image, 2048, {{0, 0x83, 63, 1000}, {2000, 0x83, 48, 1500}});
    put_text(image, 63, "first primary");
    put_text(image, 2111, "first logical");
    put_text(image, 4096, "second logical");
    return image;
}

std::string read_text(xdio_device* dev)
{
    char sector[XDIO_SECTOR_SIZE] = {};
    if (xdio_read(dev, sector, 1) != 0)
        return "(read failed)";
    return std::string(sector, strnlen(sector, sizeof sector));
}

TEST_F(DeviceText, APartitionOpensAtItsFirstSector)
{
    ASSERT_TRUE(save_image(disk_with_logicals(), trace.images + "hd1.img"));

    xdio_device* dev = xdio_open("(hd1,4)", 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->kind, XDIO_KIND_FD);
    EXPECT_EQ(dev->sector, 2111u);
    EXPECT_EQ(read_text(dev), "first logical");
    EXPECT_EQ(dev->sector, 2112u);
    xdio_close(dev);

    dev = xdio_open("(hd1,5)", 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->sector, 4096u);
    EXPECT_EQ(read_text(dev), "second logical");
    xdio_close(dev);

    dev = xdio_open("(hd1,)", 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->sector, 63u);
    EXPECT_EQ(read_text(dev), "first primary");
    xdio_close(dev);

    dev = xdio_open("(hd1)", 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->sector, 0u);
    xdio_close(dev);
    EXPECT_EQ(trace.open_now, 0);
}

TEST_F(DeviceText, AGptPartitionOpensAtItsFirstSectorPast2TiB)
{
    const uint64_t far = 5000000000;
    sparse_disk disk = make_gpt_disk(far + 100000, {{2, 4096, 8191}, {5, far, far + 9999}});
    const char text[] = "slot five";
    std::memcpy(sector_of(disk, far), text, sizeof text);
    ASSERT_TRUE(save_sparse(disk, trace.images + "hd1.img"));

    xdio_device* dev = xdio_open("(hd1,5)", 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->sector, far);
    EXPECT_EQ(read_text(dev), "slot five");
    EXPECT_EQ(dev->sector, far + 1);
    xdio_close(dev);

    dev = xdio_open("(hd1,2)", 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->sector, 4096u);
    xdio_close(dev);
    for (const char* unused : {"(hd1,0)", "(hd1,3)", "(hd1,4)", "(hd1,6)"})
        EXPECT_EQ(xdio_open(unused, 0), nullptr) << unused;
    EXPECT_EQ(trace.open_now, 0);
}

TEST_F(DeviceText, AMissingPartitionLeavesNoDescriptorOpen)
{
    ASSERT_TRUE(save_image(disk_with_logicals(), trace.images + "hd1.img"));
    disk_image primaries_only = make_image(200);
    put_entry(primaries_only, 0, 0, 0x83, 63, 100);
    ASSERT_TRUE(save_image(primaries_only, trace.images + "hd0.img"));

    for (const char* text : {"(hd1,2)", "(hd1,6)", "(hd0,4)", "(hd0,1)", "(hd3,0)"}) {
        trace.opens = 0;
        EXPECT_EQ(xdio_open(text, 0), nullptr) << text;
        EXPECT_EQ(trace.opens, 1) << text;
        EXPECT_EQ(trace.open_now, 0) << text;
    }
}

TEST_F(DeviceText, AFloppyVolumeTakesAPartitionNumberToo)
{
    disk_image image = make_image(200);
    put_entry(image, 0, 2, 0x0C, 100, 50);
    put_text(image, 100, "fat");
    ASSERT_TRUE(save_image(image, trace.images + "fdA.img"));
    xdio_device* dev = xdio_open("(fd0,2)", 1);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->sector, 100u);
    EXPECT_EQ(read_text(dev), "fat");
    xdio_close(dev);
}

TEST(DriveLetters, AVolumePathAndTheLettersWalkedFromC)
{
    char path[XDIO_VOLUME_PATH_SIZE];
    xdio_volume_path('E', path);
    EXPECT_STREQ(path, "\\\\.\\E:");

    // A: and B: are never walked; a clear bit below the highest set one is,
    // and nothing beyond that.
    std::string walked;
    walk_drive_letters(0x57ul, [&](char letter, bool present) {
        walked += letter;
        walked += present ? '+' : '-';
    });
    EXPECT_EQ(walked, "C+D-E+F-G+");
    walked.clear();
    walk_drive_letters(0x3ul, [&](char letter, bool) { walked += letter; });
    EXPECT_EQ(walked, "");
}

} // namespace
