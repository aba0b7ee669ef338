#pragma once

// The runtime library's low-level descriptor calls by their Windows names. On
// Windows they come from the runtime itself; elsewhere they are the POSIX calls
// with 64-bit file positions, and binary mode is the only mode there is.
// Only xdio.cpp uses them, on both threads.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <cstdint>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

static_assert(sizeof(off_t) >= 8, "descriptor positions must reach past 4 GiB");

constexpr int _O_BINARY = 0;
constexpr int _O_RDONLY = O_RDONLY;
constexpr int _O_RDWR = O_RDWR;

inline int _open(const char* path, int flags)
{
    return ::open(path, flags);
}

inline int64_t _lseeki64(int fd, int64_t position, int origin)
{
    return ::lseek(fd, static_cast<off_t>(position), origin);
}

inline int _read(int fd, void* buffer, unsigned int count)
{
    return static_cast<int>(::read(fd, buffer, count));
}

inline int _write(int fd, const void* buffer, unsigned int count)
{
    return static_cast<int>(::write(fd, buffer, count));
}

inline int _close(int fd)
{
    return ::close(fd);
}
#endif
