#pragma once
#include <cstdint>

// Streams of child_emit, each with bytes of its own so that a text shows which
// stream it came from.
constexpr int EMIT_STDOUT = 0;
constexpr int EMIT_STDERR = 1;
constexpr int EMIT_FILE = 2;

// Byte `i` of `stream`: printable, never NUL, and without a short period, so a
// lost, doubled or misplaced piece shows.
inline char emit_byte(int stream, uint32_t i)
{
    uint32_t x = (i + static_cast<uint32_t>(stream) * 0x9E3779B9u) * 2654435761u;
    x ^= x >> 15;
    return static_cast<char>(33 + x % 94);
}
