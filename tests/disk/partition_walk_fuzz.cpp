// libFuzzer target: the partition walk over disk images made from the input.
//
// Input: byte 0 chooses the image's shape, byte 1 is a partition number to ask
// for, byte 2 a partition number for "(hd0,M)"; the rest makes the sectors,
// sector 0 first:
// - byte 0 bit 1 clear: every 66 bytes are the table and signature (bytes 446
//   to 511) of one sector, for master boot records and EBR chains;
// - bit 1 set: the bytes are whole sectors, for GUID partition tables; with
//   bit 2 set as well, the CRCs of the headers at sector 1 and at the last
//   sector, and of the arrays they name, are made right before the walk, so
//   that mutation reaches the checks behind them.
// Bit 0: the image repeats endlessly, so that every sector number can be read
// and chains can run as long as they like; the disk's size is then unknown,
// as on a system that does not tell it.
//
// Checked on every input: a walk ends, reads no more than
// XDIO_MAX_READS_PER_WALK sectors, yields rising numbers no higher than 254
// and never 255; the partitions of a GUID partition table have a length, lie
// inside the disk and apart; asking for one partition finds exactly what the
// whole walk listed under that number, once; "(hd0,M)" opens standing at that
// partition's first sector. AddressSanitizer watches the sector buffer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "disk/descriptor_io.h"
#include "disk/partition_walk.h"
#include "disk/xdio.h"
#include "tests/disk/image_bytes.h"

namespace {

constexpr int IMAGE_FD = 1000;
constexpr std::size_t TABLE_BYTES = 66;

struct memory_disk {
    std::vector<uint8_t> bytes; // whole sectors
    bool repeats = false;
    int64_t position = 0;
    uint32_t reads = 0;
    int open = 0;
} disk;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "partition walk: %s\n", what);
        std::abort();
    }
}

int disk_open(const char*, int)
{
    ++disk.open;
    return IMAGE_FD;
}

int64_t disk_seek(int fd, int64_t position, int origin)
{
    check(fd == IMAGE_FD, "seek on the image");
    if (origin == SEEK_END) {
        check(position == 0, "a seek from the end that is not to the end");
        if (disk.repeats)
            return -1;
        disk.position = static_cast<int64_t>(disk.bytes.size());
        return disk.position;
    }
    check(origin == SEEK_SET && position >= 0, "seek on the image");
    disk.position = position;
    return position;
}

int disk_read(int fd, void* buffer, unsigned int count)
{
    check(fd == IMAGE_FD, "read from the image");
    ++disk.reads;
    const int64_t size = static_cast<int64_t>(disk.bytes.size());
    // A file ends where positions do: nothing is read up there.
    if (size == 0 || disk.position > INT64_MAX - count)
        return 0;
    int64_t from = disk.position;
    if (disk.repeats)
        from %= size;
    if (from >= size)
        return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<int64_t>(count, size - from));
    std::memcpy(buffer, disk.bytes.data() + from, n);
    disk.position += static_cast<int64_t>(n);
    return static_cast<int>(n);
}

int disk_write(int, const void*, unsigned int)
{
    check(false, "the walk writes");
    return -1;
}

int disk_close(int fd)
{
    check(fd == IMAGE_FD && disk.open > 0, "close of the image");
    --disk.open;
    return 0;
}

} // namespace

#define _open disk_open
#define _lseeki64 disk_seek
#define _read disk_read
#define _write disk_write
#define _close disk_close
#include "disk/xdio.cpp"

namespace {

struct yielded {
    uint8_t index;
    uint8_t type;
    uint64_t start;
    uint64_t size;
};

constexpr uint32_t MAX_READS = XDIO_MAX_READS_PER_WALK;

using image_bytes::crc32_of;
using image_bytes::get_le;
using image_bytes::put_le32;

// Makes the CRCs of a header in the image right: its array's, where the array
// lies inside the image, then its own over its size, cut to the sector.
void seal_header(uint64_t lba)
{
    const std::size_t sectors = disk.bytes.size() / XDIO_SECTOR_SIZE;
    if (lba >= sectors)
        return;
    uint8_t* h = disk.bytes.data() + lba * XDIO_SECTOR_SIZE;
    const uint64_t array_at = get_le(h + 72, 8) * XDIO_SECTOR_SIZE;
    const uint64_t array_bytes = get_le(h + 80, 4) * get_le(h + 84, 4);
    if (array_at < disk.bytes.size() && array_bytes <= disk.bytes.size() - array_at)
        put_le32(h + 88, crc32_of(disk.bytes.data() + array_at, array_bytes));
    const std::size_t size =
        std::min<std::size_t>(std::max<uint64_t>(get_le(h + 12, 4), 20), XDIO_SECTOR_SIZE);
    put_le32(h + 16, 0);
    put_le32(h + 16, crc32_of(h, size));
}

// The image from the input's sectors, in the shape byte 0 asks for.
void make_image(uint8_t shape, const uint8_t* data, std::size_t size)
{
    disk.repeats = shape & 1;
    if (!(shape & 2)) {
        const std::size_t sectors = size / TABLE_BYTES;
        disk.bytes.assign(sectors * XDIO_SECTOR_SIZE, 0);
        for (std::size_t s = 0; s < sectors; ++s) {
            uint8_t* sector = disk.bytes.data() + s * XDIO_SECTOR_SIZE;
            std::memset(sector, 0xF6, XDIO_SECTOR_SIZE - TABLE_BYTES); // boot code: never looked at
            std::memcpy(sector + XDIO_SECTOR_SIZE - TABLE_BYTES, data + s * TABLE_BYTES,
                        TABLE_BYTES);
        }
        return;
    }
    const std::size_t sectors = (size + XDIO_SECTOR_SIZE - 1) / XDIO_SECTOR_SIZE;
    disk.bytes.assign(sectors * XDIO_SECTOR_SIZE, 0);
    if (size > 0)
        std::memcpy(disk.bytes.data(), data, size);
    if ((shape & 4) && sectors > 1) {
        seal_header(1);
        seal_header(sectors - 1);
    }
}

// What a GUID partition table's walk yields is a sound table: every partition
// has a length, lies on the disk when its size is known, and none overlap.
void check_gpt_partitions(const std::vector<yielded>& parts)
{
    const uint64_t sectors = disk.bytes.size() / XDIO_SECTOR_SIZE;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const yielded& p = parts[i];
        check(p.type == XDIO_TYPE_GPT && p.size > 0 && p.start >= 2, "a GPT partition's place");
        check(p.start + p.size > p.start, "a GPT partition wraps round");
        check(disk.repeats || p.start + p.size <= sectors, "a GPT partition past the disk's end");
        for (std::size_t j = 0; j < i; ++j)
            check(p.start + p.size <= parts[j].start || parts[j].start + parts[j].size <= p.start,
                  "GPT partitions overlap");
    }
}

// All partitions, checking the bounds on the way.
std::vector<yielded> walk_all(xdio_device* dev)
{
    std::vector<yielded> parts;
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    disk.reads = 0;
    while (xdio_next_partition(dev, &part) == 0) {
        check(part.index <= 254, "a number above 254");
        check(parts.empty() || part.index > parts.back().index, "numbers out of order");
        parts.push_back({part.index, part.type, part.start, part.size});
        check(disk.reads <= MAX_READS, "too many reads");
    }
    check(disk.reads <= MAX_READS, "too many reads");
    check(parts.empty() || part.index == parts.back().index, "index changed by the end");
    if (part.scheme == XDIO_SCHEME_GPT)
        check_gpt_partitions(parts);
    return parts;
}

const yielded* find(const std::vector<yielded>& parts, int number)
{
    for (const yielded& p : parts)
        if (p.index == number)
            return &p;
    return nullptr;
}

void check_wanted(xdio_device* dev, const std::vector<yielded>& parts, uint8_t wanted)
{
    if (wanted == XDIO_PART_NONE)
        return;
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = wanted;
    disk.reads = 0;
    const yielded* expected = find(parts, wanted);
    const int result = xdio_next_partition(dev, &part);
    check(disk.reads <= MAX_READS, "too many reads for one partition");
    check((result == 0) == (expected != nullptr), "a wanted partition found or missed wrongly");
    if (!expected)
        return;
    check(part.index == wanted && part.type == expected->type && part.start == expected->start &&
              part.size == expected->size,
          "a wanted partition differs from the listed one");
    check(xdio_next_partition(dev, &part) == 1, "a wanted partition yielded twice");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t wanted = data[1];
    const unsigned open_number = data[2] % 30;
    make_image(data[0], data + 3, size - 3);

    xdio_device* dev = xdio_open("image", 0);
    check(dev != nullptr, "open");
    const std::vector<yielded> parts = walk_all(dev);
    check_wanted(dev, parts, wanted);
    for (std::size_t i = 0; i < parts.size() && i < 6; ++i)
        check_wanted(dev, parts, parts[i].index);
    xdio_close(dev);

    char text[16];
    std::snprintf(text, sizeof text, "(hd0,%u)", open_number);
    dev = xdio_open(text, 0);
    const yielded* expected = find(parts, static_cast<int>(open_number));
    check((dev != nullptr) == (expected != nullptr), "a partition opens or fails wrongly");
    if (dev) {
        check(dev->sector == expected->start, "a partition opens off its first sector");
        xdio_close(dev);
    }
    check(disk.open == 0, "a descriptor left open");
    return 0;
}
