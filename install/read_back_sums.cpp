#include "install/read_back_sums.h"

#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

// Eight tables, one for each byte of a 64-bit piece, so that eight bytes take
// eight look-ups and no loop over bits.
struct crc_tables {
    uint32_t t[8][256];
};

constexpr crc_tables make_tables()
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

// Made by the compiler: nothing to set up, nothing shared at run time.
constexpr crc_tables TABLES = make_tables();

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

// The CRC register (not inverted) over `size` bytes by the tables.
uint32_t crc_by_tables(uint32_t crc, const unsigned char* p, std::size_t size)
{
    const auto& t = TABLES.t;
    for (; size >= 8; size -= 8, p += 8) {
        uint32_t low = crc ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
        crc = t[7][low & 0xff] ^ t[6][(low >> 8) & 0xff] ^ t[5][(low >> 16) & 0xff] ^
              t[4][low >> 24] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; size > 0; --size, ++p)
        crc = t[0][(crc ^ *p) & 0xff] ^ (crc >> 8);
    return crc;
}

#if defined(__i386__) || defined(__x86_64__)
// Carry-less multiplication folds 64 bytes at a time into four 128-bit
// lanes, then into one, then Barrett-reduces it to the 32-bit register: some
// ten times the tables' speed, which the read-back of a whole drive needs.
// The constants are x^k mod P for the bit-reflected polynomial 0xEDB88320.
#define FOLDING __attribute__((target("pclmul,sse4.1")))

FOLDING __m128i load(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// a * k's low half ^ a * k's high half ^ b: lane `a` moved on onto `b`.
FOLDING __m128i fold(__m128i a, __m128i k, __m128i b)
{
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

// `size` is at least 64 and a multiple of 16.
FOLDING uint32_t crc_by_folding(uint32_t crc, const unsigned char* p, std::size_t size)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    for (p += 64, size -= 64; size >= 64; p += 64, size -= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
    }
    x1 = fold(fold(fold(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; size >= 16; p += 16, size -= 16)
        x1 = fold(x1, k3k4, load(p));

    // 128 bits to 64, to 32 by Barrett's reduction.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                       _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool can_fold()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) && (c & bit_SSE4_1);
}

#endif

} // namespace

uint32_t crc32_update(uint32_t crc, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
#if defined(__i386__) || defined(__x86_64__)
    // Asked each time: a question of a few cycles per mebibyte read.
    if (size >= 64 && can_fold()) {
        std::size_t folded = size & ~static_cast<std::size_t>(15);
        crc = crc_by_folding(crc, p, folded);
        p += folded;
        size -= folded;
    }
#endif
    return ~crc_by_tables(crc, p, size);
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
