#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disk/drive_log_lines.h"
#include "disk/partition_match.h"
#include "disk/xdio.h"
#include "tests/disk/disk_image.h"
#include "tests/disk/traced_images.h"
#include "tests/substitutes/traced_xdio.h"

namespace {

constexpr int64_t SECTOR = 512;

// The image file of disk `n`, below the trace's prefix.
std::string disk_file(int n)
{
    return "hd" + std::to_string(n) + ".img";
}

// Disks 0 to 9, whose files the fixture removes.
std::vector<std::string> disk_files()
{
    std::vector<std::string> files;
    for (int n = 0; n <= 9; ++n)
        files.push_back(disk_file(n));
    return files;
}

class DiskImages : public TracedImages {
protected:
    DiskImages() : TracedImages("match", disk_files()) {}

    void TearDown() override
    {
        TracedImages::TearDown();
        if (log_)
            std::fclose(log_);
        std::remove(log_path_.c_str());
    }

    void save_disk(int n, const disk_image& image)
    {
        ASSERT_TRUE(save_image(image, trace.images + disk_file(n)));
    }

    void save_disk(int n, const sparse_disk& disk)
    {
        ASSERT_TRUE(save_sparse(disk, trace.images + disk_file(n)));
    }

    // The GPT tests' disks: two_primaries() as disk 0, gpt_disk() as disk 1.
    void save_with_gpt_disk();

    // A scratch log file opened for writing, then read back whole.
    std::FILE* log()
    {
        log_path_ = trace.images + "drive.log";
        log_ = std::fopen(log_path_.c_str(), "w+b");
        return log_;
    }

    std::string log_text()
    {
        std::string text;
        std::rewind(log_);
        int c;
        while ((c = std::fgetc(log_)) != EOF)
            text += static_cast<char>(c);
        return text;
    }

    // "(hdN,M)" for the extent, or "null".
    std::string name_of(uint32_t disk, int64_t offset, int64_t length)
    {
        char out[1024] = "untouched";
        const char* name = grub_device_of_extent(disk, offset, length, out, sizeof out);
        if (name && name != out)
            return "not in the caller's buffer";
        return name ? name : "null";
    }

private:
    std::FILE* log_ = nullptr;
    std::string log_path_;
};

// Disk 0: two primaries; disk 1: a primary and logicals behind it.
disk_image two_primaries()
{
    disk_image image = make_image(3000);
    put_entry(image, 0, 0, 0x07, 63, 1000);
    put_entry(image, 0, 1, 0x07, 2048, 800);
    return image;
}

disk_image primary_and_logicals()
{
    disk_image image = make_image(3000);
    put_entry(image, 0, 0, 0x0B, 63, 1000);
    put_entry(image, 0, 3, 0x0F, 1100, 1800);
    put_chain(image, 1100, {{0, 0x07, 63, 600}, {700, 0x83, 63, 900}});
    return image;
}

TEST_F(DiskImages, AVolumeIsNamedByTheFirstPartitionWithItsExtent)
{
    save_disk(0, two_primaries());
    save_disk(1, primary_and_logicals());
    EXPECT_EQ(name_of(0, 2048 * SECTOR, 800 * SECTOR), "(hd0,1)");
    EXPECT_EQ(name_of(0, 63 * SECTOR, 1000 * SECTOR), "(hd0,0)");
    EXPECT_EQ(name_of(1, 1163 * SECTOR, 600 * SECTOR), "(hd1,4)");
    EXPECT_EQ(name_of(1, 1863 * SECTOR, 900 * SECTOR), "(hd1,5)");
    EXPECT_EQ(name_of(1, 1100 * SECTOR, 1800 * SECTOR), "(hd1,3)");
    // Byte counts are taken in whole sectors, rounded down.
    EXPECT_EQ(name_of(0, 2048 * SECTOR + 511, 800 * SECTOR + 100), "(hd0,1)");
    EXPECT_EQ(trace.open_now, 0);
}

TEST_F(DiskImages, AnExtentOffByOneSectorIsNoPartition)
{
    save_disk(0, two_primaries());
    EXPECT_EQ(name_of(0, 2047 * SECTOR, 800 * SECTOR), "null");
    EXPECT_EQ(name_of(0, 2049 * SECTOR, 800 * SECTOR), "null");
    EXPECT_EQ(name_of(0, 2048 * SECTOR, 799 * SECTOR), "null");
    EXPECT_EQ(name_of(0, 2048 * SECTOR, 801 * SECTOR), "null");
    EXPECT_EQ(name_of(0, -2048 * SECTOR, 800 * SECTOR), "null");
    // Only the low 32 bits of the sector count would match.
    EXPECT_EQ(name_of(0, (int64_t(1) << 41) + 2048 * SECTOR, 800 * SECTOR), "null");
    EXPECT_EQ(name_of(0, 2048 * SECTOR, (int64_t(1) << 41) + 800 * SECTOR), "null");
    EXPECT_EQ(trace.open_now, 0);
}

TEST_F(DiskImages, DisksWithoutAUsableTableNameNothing)
{
    // A protective entry, but no GUID partition table behind it.
    disk_image gpt = make_image(3000);
    put_entry(gpt, 0, 0, 0xEE, 1, 2999);
    put_text(gpt, 1, "EFI PART");
    save_disk(0, gpt);
    EXPECT_EQ(name_of(0, 2048 * SECTOR, 800 * SECTOR), "null");

    save_disk(1, make_image(3000)); // no table at all
    EXPECT_EQ(name_of(1, 63 * SECTOR, 1000 * SECTOR), "null");

    EXPECT_EQ(name_of(2, 63 * SECTOR, 1000 * SECTOR), "null"); // no such disk
    const int opens = trace.opens;
    EXPECT_EQ(name_of(10, 63 * SECTOR, 1000 * SECTOR), "null");
    EXPECT_EQ(trace.opens, opens); // refused without an open
    EXPECT_EQ(trace.open_now, 0);
}

TEST_F(DiskImages, TheLogListsEveryPartitionOfEveryDiskThatOpens)
{
    save_disk(0, two_primaries());
    disk_image bad = two_primaries();
    put_entry(bad, 0, 2, 0x83, 2500, 0);
    save_disk(1, bad);
    save_disk(2, primary_and_logicals());
    save_disk(9, two_primaries());
    write_xdio_lines(log());
    EXPECT_EQ(log_text(), "[xdio] dev=hda1 offset=63 size=1000\n"
                          "[xdio] dev=hda2 offset=2048 size=800\n"
                          "[xdio] dev=hdc1 offset=63 size=1000\n"
                          "[xdio] dev=hdc4 offset=1100 size=1800\n"
                          "[xdio] dev=hdc5 offset=1163 size=600\n"
                          "[xdio] dev=hdc6 offset=1863 size=900\n"
                          "[xdio] dev=hdj1 offset=63 size=1000\n"
                          "[xdio] dev=hdj2 offset=2048 size=800\n");
    EXPECT_EQ(trace.opens, 10);
    EXPECT_EQ(trace.closes, 4);
    EXPECT_EQ(trace.open_now, 0);
}

// Disk 1 of 3 TiB with a GUID partition table: slot 0 unused, a volume in
// slot 1 before 2 TiB, one in slot 3 past it.
sparse_disk gpt_disk()
{
    return make_gpt_disk(3 * (uint64_t(1) << 31),
                         {{1, 2048, 1050623}, {3, 5000000000, 5999999999}});
}

void DiskImages::save_with_gpt_disk()
{
    save_disk(0, two_primaries());
    save_disk(1, gpt_disk());
}

TEST_F(DiskImages, AVolumeOnAGptDiskIsNamedByItsSlot)
{
    save_with_gpt_disk();
    EXPECT_EQ(name_of(1, 2048 * SECTOR, 1048576 * SECTOR), "(hd1,1)");
    EXPECT_EQ(name_of(1, 5000000000 * SECTOR, 1000000000 * SECTOR), "(hd1,3)");
    EXPECT_EQ(name_of(1, 5000000000 * SECTOR, 999999999 * SECTOR), "null");
    // Its low 32 bits are some other place.
    EXPECT_EQ(name_of(1, (5000000000 - (int64_t(1) << 32)) * SECTOR, 1000000000 * SECTOR), "null");
    EXPECT_EQ(name_of(0, 2048 * SECTOR, 800 * SECTOR), "(hd0,1)");

    // Damaged in its primary table, named the same from the backup.
    sparse_disk damaged = gpt_disk();
    sector_of(damaged, 1)[60] ^= 1;
    save_disk(1, damaged);
    EXPECT_EQ(name_of(1, 5000000000 * SECTOR, 1000000000 * SECTOR), "(hd1,3)");
    // In both: no name at all.
    sector_of(damaged, damaged.sectors - 1)[60] ^= 1;
    save_disk(1, damaged);
    EXPECT_EQ(name_of(1, 5000000000 * SECTOR, 1000000000 * SECTOR), "null");
    EXPECT_EQ(name_of(1, 2048 * SECTOR, 1048576 * SECTOR), "null");
    EXPECT_EQ(trace.open_now, 0);
}

TEST_F(DiskImages, TheLogListsGptPartitionsLikeOthers)
{
    save_with_gpt_disk();
    write_xdio_lines(log());
    EXPECT_EQ(log_text(), "[xdio] dev=hda1 offset=63 size=1000\n"
                          "[xdio] dev=hda2 offset=2048 size=800\n"
                          "[xdio] dev=hdb2 offset=2048 size=1048576\n"
                          "[xdio] dev=hdb4 offset=5000000000 size=1000000000\n");
}

TEST_F(DiskImages, TheSystemsViewAndItsFailuresAsLogLines)
{
    std::FILE* f = log();
    write_winapi_line(f, 'E', 1, 2, 2048 * SECTOR + 300, 800 * SECTOR);
    write_winapi_line(f, 'C', 0, 1, ((int64_t(1) << 32) + 63) * SECTOR, -SECTOR);
    write_winapi_line(f, 'D', 1, 3, 5000000000 * SECTOR + 100, (int64_t(1) << 62) - 1);
    write_create_file_error(f, "\\\\.\\F:", "Access is denied.\r\n");
    write_device_number_error(f, "\\\\.\\G:", "Incorrect function.");
    write_partition_info_error(f, "\\\\.\\H:", "The request is not supported.\r\n");
    EXPECT_EQ(log_text(), "[winapi] dev=E:(d1p2) offset=2048 size=800\n"
                          "[winapi] dev=C:(d0p1) offset=4294967359 size=-1\n"
                          "[winapi] dev=D:(d1p3) offset=5000000000 size=9007199254740991\n"
                          "CreateFile(\\\\.\\F:): Access is denied.\r\n"
                          "DeviceIoControl(\\\\.\\G:,IOCTL_STORAGE_GET_DEVICE_NUMBER): "
                          "Incorrect function."
                          "DeviceIoControl(\\\\.\\H:,IOCTL_DISK_GET_PARTITION_INFO): "
                          "The request is not supported.\r\n");
}

} // namespace
