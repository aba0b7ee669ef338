#include "disk/drive_log_lines.h"

#include <cinttypes>

#include "disk/partition_walk.h"

namespace {

constexpr uint32_t LAST_DISK = 9;

} // namespace

void write_winapi_line(std::FILE* log, char letter, uint32_t device_number,
                       uint32_t partition_number, int64_t starting_offset, int64_t partition_length)
{
    std::fprintf(log, "[winapi] dev=%c:(d%up%u) offset=%" PRId64 " size=%" PRId64 "\n", letter,
                 device_number, partition_number, starting_offset >> 9, partition_length >> 9);
}

void write_create_file_error(std::FILE* log, const char* path, const char* error_text)
{
    std::fprintf(log, "CreateFile(%s): %s", path, error_text);
}

void write_device_number_error(std::FILE* log, const char* path, const char* error_text)
{
    std::fprintf(log, "DeviceIoControl(%s,IOCTL_STORAGE_GET_DEVICE_NUMBER): %s", path, error_text);
}

void write_partition_info_error(std::FILE* log, const char* path, const char* error_text)
{
    std::fprintf(log, "DeviceIoControl(%s,IOCTL_DISK_GET_PARTITION_INFO): %s", path, error_text);
}

void write_xdio_disk_lines(std::FILE* log, uint32_t disk_number, xdio_device* disk)
{
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = XDIO_PART_NONE;
    while (xdio_next_partition(disk, &part) == 0)
        std::fprintf(log, "[xdio] dev=hd%c%u offset=%" PRIu64 " size=%" PRIu64 "\n",
                     static_cast<char>('a' + disk_number), part.index + 1u, part.start, part.size);
}

void write_xdio_lines(std::FILE* log)
{
    for (uint32_t n = 0; n <= LAST_DISK; ++n) {
        char text[16];
        std::snprintf(text, sizeof text, "(hd%u)", n);
        xdio_device* disk = xdio_open(text, 0);
        if (!disk)
            continue;
        write_xdio_disk_lines(log, n, disk);
        xdio_close(disk);
    }
}
