#pragma once
// Little-endian fields and the CRC-32 of the disk images the tests and the
// fuzz target build, computed apart from the walk's own code so that neither
// can hide a fault of the other.
#include <cstddef>
#include <cstdint>

namespace image_bytes {

inline uint64_t get_le(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

inline void put_le32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// CRC-32 by a table, the way zlib computes it.
inline uint32_t crc32_of(const uint8_t* data, std::size_t length)
{
    static uint32_t table[256];
    if (table[1] == 0)
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace image_bytes
