// libFuzzer target: the partition walk over disk images made from the input.
//
// Input: byte 0 chooses the image's shape (bit 0: it repeats endlessly, so that
// every 32-bit sector number can be read and chains can run as long as they
// like), byte 1 is a partition number to ask for, byte 2 a partition number
// for "(hd0,M)"; every further 66 bytes are the table and signature (bytes 446
// to 511) of one sector, sector 0 first.
//
// Checked on every input: a walk ends, reads no more than
// XDIO_MAX_READS_PER_WALK sectors, yields rising numbers no higher than 254 and
// never 255; asking for one partition finds exactly what the whole walk
// listed under that number, once; "(hd0,M)" opens standing at that
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
    disk.repeats = data[0] & 1;
    const uint8_t wanted = data[1];
    const unsigned open_number = data[2] % 30;
    const std::size_t sectors = (size - 3) / TABLE_BYTES;
    disk.bytes.assign(sectors * XDIO_SECTOR_SIZE, 0);
    for (std::size_t s = 0; s < sectors; ++s) {
        uint8_t* sector = disk.bytes.data() + s * XDIO_SECTOR_SIZE;
        std::memset(sector, 0xF6, XDIO_SECTOR_SIZE - TABLE_BYTES); // boot code: never looked at
        std::memcpy(sector + XDIO_SECTOR_SIZE - TABLE_BYTES, data + 3 + s * TABLE_BYTES,
                    TABLE_BYTES);
    }

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
