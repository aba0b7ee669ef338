#pragma once
// Texts composed into fixed buffers: compose_text on the worker thread, format_with_path on the
// user-interface thread (the main dialog's message about the image path).
#include <cstddef>

// printf into a buffer of `size` bytes; returns false, leaving an empty text,
// when the result would not fit. A command line or path is never cut.
bool compose_text(char* buf, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Fills `out` with `format` whose one "%s" is replaced by `path`. When that
// does not fit in `size` characters the path is shortened in the middle with
// "..." so that its beginning (the drive) and its end (the file name) still
// show. `starts_pair` tells the first unit of a two-unit character (a
// double-byte lead byte, a UTF-16 high surrogate), so that no character is
// cut in two; null where every character is one unit.
template <typename C>
void format_with_path(C* out, std::size_t size, const C* format, const C* path,
                      bool (*starts_pair)(C));
