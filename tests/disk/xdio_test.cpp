#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "disk/xdio.h"
#include "tests/disk/disk_image.h"

namespace {

class RawAccess : public testing::Test {
protected:
    void SetUp() override { path_ = unique_prefix(testing::TempDir(), "raw") + "disk.img"; }
    void TearDown() override { std::remove(path_.c_str()); }

    // A file of `bytes` bytes, sector s filled with the byte 's'.
    void make_file(std::size_t bytes)
    {
        disk_image image;
        image.bytes.resize(bytes);
        for (std::size_t i = 0; i < bytes; ++i)
            image.bytes[i] = static_cast<uint8_t>(i / XDIO_SECTOR_SIZE);
        ASSERT_TRUE(save_image(image, path_));
    }

    std::string path_;
};

TEST_F(RawAccess, ReadsWholeSectorsAndFollowsThePosition)
{
    make_file(8 * XDIO_SECTOR_SIZE);
    xdio_device* dev = xdio_open(path_.c_str(), 0);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->kind, XDIO_KIND_FD);
    EXPECT_EQ(dev->sector, 0u);

    uint8_t buf[3 * XDIO_SECTOR_SIZE];
    ASSERT_EQ(xdio_read(dev, buf, 1), 0);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(dev->sector, 1u);
    ASSERT_EQ(xdio_seek(dev, 5), 0);
    ASSERT_EQ(xdio_read(dev, buf, 3), 0);
    EXPECT_EQ(buf[0], 5);
    EXPECT_EQ(buf[2 * XDIO_SECTOR_SIZE + 511], 7);
    EXPECT_EQ(dev->sector, 8u);
    xdio_close(dev);
}

TEST_F(RawAccess, AShortReadFailsAndLeavesThePositionAlone)
{
    make_file(2 * XDIO_SECTOR_SIZE + 188);
    xdio_device* dev = xdio_open(path_.c_str(), 0);
    ASSERT_NE(dev, nullptr);
    uint8_t buf[2 * XDIO_SECTOR_SIZE];
    ASSERT_EQ(xdio_seek(dev, 2), 0);
    EXPECT_EQ(xdio_read(dev, buf, 1), 1);
    EXPECT_EQ(dev->sector, 2u);
    ASSERT_EQ(xdio_seek(dev, 1), 0);
    EXPECT_EQ(xdio_read(dev, buf, 2), 1);
    EXPECT_EQ(dev->sector, 1u);
    ASSERT_EQ(xdio_seek(dev, 1), 0);
    EXPECT_EQ(xdio_read(dev, buf, 1), 0);
    EXPECT_EQ(dev->sector, 2u);
    // A byte count beyond 32 signed bits is refused before anything is read.
    EXPECT_EQ(xdio_read(dev, buf, 4194304), 1);
    EXPECT_EQ(dev->sector, 2u);
    xdio_close(dev);
}

TEST_F(RawAccess, WritesNeedAWritableOpen)
{
    make_file(4 * XDIO_SECTOR_SIZE);
    uint8_t out[2 * XDIO_SECTOR_SIZE];
    std::memset(out, 0xA5, sizeof out);

    xdio_device* dev = xdio_open(path_.c_str(), 0);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(xdio_seek(dev, 1), 0);
    EXPECT_EQ(xdio_write(dev, out, 1), 1);
    EXPECT_EQ(dev->sector, 1u);
    xdio_close(dev);

    dev = xdio_open(path_.c_str(), 1);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(xdio_seek(dev, 1), 0);
    EXPECT_EQ(xdio_write(dev, out, 2), 0);
    EXPECT_EQ(dev->sector, 3u);
    uint8_t in[4 * XDIO_SECTOR_SIZE];
    ASSERT_EQ(xdio_seek(dev, 0), 0);
    ASSERT_EQ(xdio_read(dev, in, 4), 0);
    EXPECT_EQ(in[511], 0);
    EXPECT_EQ(std::memcmp(in + XDIO_SECTOR_SIZE, out, sizeof out), 0);
    EXPECT_EQ(in[3 * XDIO_SECTOR_SIZE], 3);
    xdio_close(dev);
}

TEST_F(RawAccess, EverySectorNumberIsReachable)
{
    make_file(XDIO_SECTOR_SIZE);
    xdio_device* dev = xdio_open(path_.c_str(), 1);
    ASSERT_NE(dev, nullptr);
    // 4.5 GiB into a sparse file and back.
    const uint32_t far = 9u << 20;
    uint8_t sector[XDIO_SECTOR_SIZE];
    std::memset(sector, 0x5A, sizeof sector);
    ASSERT_EQ(xdio_seek(dev, far), 0);
    ASSERT_EQ(xdio_write(dev, sector, 1), 0);
    std::memset(sector, 0, sizeof sector);
    ASSERT_EQ(xdio_seek(dev, far), 0);
    ASSERT_EQ(xdio_read(dev, sector, 1), 0);
    EXPECT_EQ(sector[0], 0x5A);
    ASSERT_EQ(xdio_seek(dev, 0), 0);
    ASSERT_EQ(xdio_read(dev, sector, 1), 0);
    EXPECT_EQ(sector[0], 0);

    // Past 2 TiB, where 32-bit sector numbers end.
    const uint64_t beyond = (uint64_t(1) << 32) + 9;
    std::memset(sector, 0xC3, sizeof sector);
    ASSERT_EQ(xdio_seek(dev, beyond), 0);
    ASSERT_EQ(xdio_write(dev, sector, 1), 0);
    EXPECT_EQ(dev->sector, beyond + 1);
    EXPECT_EQ(xdio_sector_count(dev), beyond + 1);
    EXPECT_EQ(dev->sector, beyond + 1); // counting moves nothing
    std::memset(sector, 0, sizeof sector);
    ASSERT_EQ(xdio_seek(dev, beyond), 0);
    ASSERT_EQ(xdio_read(dev, sector, 1), 0);
    EXPECT_EQ(sector[511], 0xC3);
    EXPECT_EQ(xdio_read(dev, sector, 1), 1); // the end of the file

    // A byte position that no signed 64-bit number holds is refused.
    EXPECT_EQ(xdio_seek(dev, uint64_t(1) << 55), 1);
    EXPECT_EQ(dev->sector, uint64_t(1) << 55);
    ASSERT_EQ(xdio_seek(dev, 0), 0);
    ASSERT_EQ(xdio_read(dev, sector, 1), 0);
    EXPECT_EQ(sector[0], 0);
    xdio_close(dev);
}

TEST_F(RawAccess, TheSectorCountIsTheFilesWholeSectors)
{
    make_file(5 * XDIO_SECTOR_SIZE + 100);
    xdio_device* dev = xdio_open(path_.c_str(), 0);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(xdio_seek(dev, 2), 0);
    EXPECT_EQ(xdio_sector_count(dev), 5u);
    uint8_t sector[XDIO_SECTOR_SIZE];
    ASSERT_EQ(xdio_read(dev, sector, 1), 0); // from where it stood
    EXPECT_EQ(sector[0], 2);
    xdio_close(dev);

    xdio_device other{7, -1, 0};
    EXPECT_EQ(xdio_sector_count(&other), 0u);
}

TEST_F(RawAccess, OnlyDescriptorDevicesTouchADescriptor)
{
    xdio_device other{7, -1, 0};
    EXPECT_EQ(xdio_seek(&other, 42), 0);
    EXPECT_EQ(other.sector, 42u);
    uint8_t sector[XDIO_SECTOR_SIZE];
    EXPECT_EQ(xdio_read(&other, sector, 1), 1);
    EXPECT_EQ(xdio_write(&other, sector, 1), 1);
    EXPECT_EQ(other.sector, 42u);

    xdio_device* closed = xdio_open(path_.c_str(), 0); // nothing there yet
    EXPECT_EQ(closed, nullptr);
}

} // namespace
