// The raw-disk layer built once more for the tests that need to see its
// descriptor calls. The archive's xdio object is not linked into this binary:
// every symbol it would provide is defined here.
#include "tests/substitutes/traced_xdio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "disk/descriptor_io.h"
#include "disk/partition_walk.h"
#include "disk/xdio.h"

descriptor_trace trace;

namespace {

std::string image_of(const char* path)
{
    const char* drive = "\\\\.\\PhysicalDrive";
    const std::size_t n = std::strlen(drive);
    if (std::strncmp(path, drive, n) == 0)
        return trace.images + "hd" + (path + n) + ".img";
    if (std::strncmp(path, "\\\\.\\", 4) == 0 && path[4] != '\0' && std::strcmp(path + 5, ":") == 0)
        return trace.images + "fd" + path[4] + ".img";
    return path;
}

int traced_open(const char* path, int flags)
{
    ++trace.opens;
    trace.last_path = path;
    trace.last_flags = flags;
    const int fd = _open(image_of(path).c_str(), flags);
    if (fd >= 0)
        ++trace.open_now;
    return fd;
}

int traced_read(int fd, void* buffer, unsigned int count)
{
    ++trace.reads;
    return _read(fd, buffer, count);
}

int traced_close(int fd)
{
    ++trace.closes;
    --trace.open_now;
    return _close(fd);
}

} // namespace

#define _open traced_open
#define _read traced_read
#define _close traced_close
#include "disk/xdio.cpp"
