#pragma once
#include <cstddef>

// printf into a buffer of `size` bytes; returns false, leaving an empty text,
// when the result would not fit. A command line or path is never cut.
bool compose_text(char* buf, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Fills `out` with printf(format, path) where format holds exactly one "%s".
// When that does not fit in `size` bytes the path is shortened in the middle
// with "..." so that its beginning (the drive) and its end (the file name)
// still show. `is_lead_byte` tells double-byte lead bytes of the code page,
// so that no character is cut in two; null for a single-byte code page.
void format_with_path(char* out, std::size_t size, const char* format, const char* path,
                      bool (*is_lead_byte)(unsigned char));
