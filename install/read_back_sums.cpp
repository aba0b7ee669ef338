#include "install/read_back_sums.h"

#include <cstdlib>
#include <cstring>

namespace {

// Eight tables, one for each byte of a 64-bit piece, so that eight bytes take
// eight look-ups and no loop over bits.
struct crc_tables {
    uint32_t t[8][256];
};

crc_tables make_tables()
{
    crc_tables tables = {};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        tables.t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 8; ++k)
            tables.t[k][n] = (tables.t[k - 1][n] >> 8) ^ tables.t[0][tables.t[k - 1][n] & 0xff];
    return tables;
}

const crc_tables TABLES = make_tables();

bool read_hex(const char* text, const char** end, uint32_t* value)
{
    char* stop = nullptr;
    unsigned long n = std::strtoul(text, &stop, 16);
    if (stop == text || stop - text > 8)
        return false;
    *value = static_cast<uint32_t>(n);
    *end = stop;
    return true;
}

} // namespace

uint32_t crc32_update(uint32_t crc, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    const auto& t = TABLES.t;
    crc = ~crc;
    for (; size >= 8; size -= 8, p += 8) {
        uint32_t low = crc ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
        crc = t[7][low & 0xff] ^ t[6][(low >> 8) & 0xff] ^ t[5][(low >> 16) & 0xff] ^
              t[4][low >> 24] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; size > 0; --size, ++p)
        crc = t[0][(crc ^ *p) & 0xff] ^ (crc >> 8);
    return ~crc;
}

bool read_data_sum(const char* text, uint64_t* sum)
{
    const char label[] = "CRC32  for data:";
    for (const char* line = std::strstr(text, label); line != nullptr;
         line = std::strstr(line + 1, label)) {
        if (line != text && line[-1] != '\n')
            continue;
        const char* at = line + sizeof label - 1;
        while (*at == ' ')
            ++at;
        uint32_t low = 0;
        uint32_t high = 0;
        if (!read_hex(at, &at, &low))
            return false;
        if (*at == '-' && !read_hex(at + 1, &at, &high))
            return false;
        if (*at != '\r' && *at != '\n' && *at != '\0')
            return false;
        *sum = static_cast<uint64_t>(high) << 32 | low;
        return true;
    }
    return false;
}
