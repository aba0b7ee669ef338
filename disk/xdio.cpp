#include "disk/xdio.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "disk/descriptor_io.h"
#include "disk/partition_walk.h"

namespace {

constexpr unsigned long LAST_DISK = 9;
constexpr unsigned long LAST_FLOPPY = 1;
constexpr unsigned long LAST_PARTITION_NUMBER = 29;

// A transfer's byte count must stay a positive 32-bit signed number.
constexpr uint32_t MAX_TRANSFER_SECTORS = 0x7FFFFFFFu / XDIO_SECTOR_SIZE;

// What device text names.
struct device_name {
    bool floppy;
    unsigned long number;
    bool has_partition;
    unsigned long partition;
};

// Reads a number the way strtol reads with base 0 and takes it as unsigned,
// so that a negative number is out of every bound.
bool read_number(const char*& p, unsigned long limit, unsigned long* value)
{
    char* end;
    long n = std::strtol(p, &end, 0);
    if (static_cast<unsigned long>(n) > limit)
        return false;
    *value = static_cast<unsigned long>(n);
    p = end;
    return true;
}

// "(hdN)", "(hdN,M)", "(fdN)" or "(fdN,M)", nothing before or after.
bool parse_device_text(const char* text, device_name* name)
{
    if (text[0] != '(')
        return false;
    if (text[1] == 'h' && text[2] == 'd')
        name->floppy = false;
    else if (text[1] == 'f' && text[2] == 'd')
        name->floppy = true;
    else
        return false;
    const char* p = text + 3;
    if (!read_number(p, name->floppy ? LAST_FLOPPY : LAST_DISK, &name->number))
        return false;
    name->has_partition = *p == ',';
    name->partition = 0;
    if (name->has_partition) {
        ++p;
        if (!read_number(p, LAST_PARTITION_NUMBER, &name->partition))
            return false;
    }
    return p[0] == ')' && p[1] == '\0';
}

// Moves `count` whole sectors with `call` (a read or a write of that many
// bytes); only a complete transfer counts and moves the device on.
template <typename Call> int transfer(xdio_device* dev, uint32_t count, Call call)
{
    if (dev->kind != XDIO_KIND_FD || count > MAX_TRANSFER_SECTORS)
        return 1;
    const unsigned int bytes = count * XDIO_SECTOR_SIZE;
    const int done = call(bytes);
    if (done < 0 || static_cast<unsigned int>(done) != bytes)
        return 1;
    dev->sector += count;
    return 0;
}

} // namespace

void xdio_volume_path(char letter, char* path)
{
    std::snprintf(path, XDIO_VOLUME_PATH_SIZE, "\\\\.\\%c:", letter);
}

xdio_device* xdio_open(const char* text, int writable)
{
    if (!text)
        return nullptr;
    char device_path[32];
    const char* path = text;
    device_name name{};
    if (text[0] == '(') {
        if (!parse_device_text(text, &name))
            return nullptr;
        if (name.floppy)
            xdio_volume_path(static_cast<char>('A' + name.number), device_path);
        else
            std::snprintf(device_path, sizeof device_path, "\\\\.\\PhysicalDrive%d",
                          static_cast<int>(name.number));
        path = device_path;
    }

    int fd = _open(path, (writable ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (fd < 0)
        return nullptr;
    xdio_device* dev = new (std::nothrow) xdio_device{XDIO_KIND_FD, fd, 0};
    if (!dev) {
        _close(fd);
        return nullptr;
    }
    if (!name.has_partition)
        return dev;

    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = static_cast<uint8_t>(name.partition);
    if (xdio_next_partition(dev, &part) != 0 || xdio_seek(dev, part.start) != 0) {
        xdio_close(dev);
        return nullptr;
    }
    return dev;
}

void xdio_close(xdio_device* dev)
{
    if (!dev)
        return;
    if (dev->kind == XDIO_KIND_FD)
        _close(dev->fd);
    delete dev;
}

int xdio_seek(xdio_device* dev, uint64_t sector)
{
    dev->sector = sector;
    if (dev->kind != XDIO_KIND_FD)
        return 0;
    if (sector > static_cast<uint64_t>(INT64_MAX) / XDIO_SECTOR_SIZE)
        return 1;
    const int64_t position = static_cast<int64_t>(sector * XDIO_SECTOR_SIZE);
    return _lseeki64(dev->fd, position, SEEK_SET) == position ? 0 : 1;
}

uint64_t xdio_sector_count(xdio_device* dev)
{
    if (dev->kind != XDIO_KIND_FD)
        return 0;
    const int64_t end = _lseeki64(dev->fd, 0, SEEK_END);
    xdio_seek(dev, dev->sector);
    return end > 0 ? static_cast<uint64_t>(end) / XDIO_SECTOR_SIZE : 0;
}

int xdio_read(xdio_device* dev, void* buffer, uint32_t count)
{
    return transfer(dev, count, [&](unsigned int bytes) { return _read(dev->fd, buffer, bytes); });
}

int xdio_write(xdio_device* dev, const void* buffer, uint32_t count)
{
    return transfer(dev, count, [&](unsigned int bytes) { return _write(dev->fd, buffer, bytes); });
}
