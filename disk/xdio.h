#pragma once
// Whole-sector access to a physical disk, a volume or an image file.
// Called by both threads: the drive log on the user-interface thread, the worker's disk checks and
// GRUB device naming; xdio_volume_path also by classify_drive, on either.
#include <cstdint>

constexpr uint32_t XDIO_SECTOR_SIZE = 512;

// The device is reached through a runtime-library file descriptor; the only
// kind xdio_open makes.
constexpr uint32_t XDIO_KIND_FD = 1;

// One open device. `sector` is where the device stands: 0 after a plain open,
// the partition's first sector after an open of "(hdN,M)"; every seek sets it
// and every successful transfer advances it. Sector numbers are always
// absolute on the opened device, and 64-bit: disks with a GUID partition
// table reach past sector 2^32 - 1 (2 TiB).
struct xdio_device {
    uint32_t kind;
    int32_t fd;
    uint64_t sector;
};

// The raw device path of drive `letter`, "\\.\X:", written with its NUL into
// `path`, which holds XDIO_VOLUME_PATH_SIZE bytes.
constexpr int XDIO_VOLUME_PATH_SIZE = 7;
void xdio_volume_path(char letter, char* path);

// Opens `text`, either GRUB device text or, when it does not begin with "(",
// a path used as it is:
//   "(hdN)"    physical disk N (0..9), "\\.\PhysicalDriveN"
//   "(hdN,M)"  the same disk, standing at the first sector of partition M (0..29)
//   "(fdN)"    volume A: or B: (N 0 or 1), "\\.\A:"; a partition number is
//              accepted here too
// Numbers read as strtol with base 0 reads them and must not exceed the bound
// taken as unsigned; ")" must end the text. Refused text opens nothing.
// `writable` nonzero opens for reading and writing. Null when the text is
// refused, the device cannot be opened or the partition is not there.
xdio_device* xdio_open(const char* text, int writable);

// Closes the device and releases the record (null is ignored).
void xdio_close(xdio_device* dev);

// Stands the device at absolute sector `sector`. 0 on success, 1 on failure
// (a sector whose byte position does not fit a signed 64-bit number fails);
// `sector` is recorded either way.
int xdio_seek(xdio_device* dev, uint64_t sector);

// How many whole sectors the device holds, as the runtime library's seek to
// the end tells it; 0 when it does not (Windows may not for a raw disk). The
// device stays where it stood.
uint64_t xdio_sector_count(xdio_device* dev);

// Transfer `count` whole sectors, count below 4194304 (the byte count is a
// 32-bit signed number). 0 when exactly count sectors went through, then
// `sector` advances by count; 1 otherwise, `sector` unchanged.
int xdio_read(xdio_device* dev, void* buffer, uint32_t count);
int xdio_write(xdio_device* dev, const void* buffer, uint32_t count);
