#include "frame/compose_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

bool compose_text(char* buf, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, size, format, args);
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size > 0)
            buf[0] = '\0';
        return false;
    }
    return true;
}

namespace {

// Length in units of the character that starts at text[i].
template <typename C>
std::size_t char_length(const std::basic_string<C>& text, std::size_t i, bool (*starts_pair)(C))
{
    return starts_pair && starts_pair(text[i]) && i + 1 < text.size() ? 2 : 1;
}

} // namespace

template <typename C>
void format_with_path(C* out, std::size_t size, const C* format, const C* path_text,
                      bool (*starts_pair)(C))
{
    if (size == 0)
        return;
    using text = std::basic_string<C>;
    const C mark[] = {'%', 's', 0};
    const C ellipsis[] = {'.', '.', '.', 0};
    text whole = format;
    text path = path_text;
    std::size_t at = whole.find(mark);
    text before = at == text::npos ? whole : whole.substr(0, at);
    text after = at == text::npos ? text() : whole.substr(at + 2);
    std::size_t room = size - 1; // units for text, terminator aside
    std::size_t fixed = before.size() + after.size();
    text result;
    if (at == text::npos || fixed + path.size() <= room) {
        result = at == text::npos ? whole : before + path + after;
    } else if (fixed + 3 >= room) {
        // Even the message alone barely fits: show it without the path.
        result = before + after;
    } else {
        std::size_t keep = room - fixed - 3; // units of the path that can stay
        // Split the characters into a head and a tail; the tail, which names
        // the file, gets the larger share.
        std::size_t head = 0;
        while (head < path.size()) {
            std::size_t c = char_length(path, head, starts_pair);
            if (head + c > keep / 3)
                break;
            head += c;
        }
        // Walk forward from the head to the first character boundary whose rest fits.
        std::size_t tail_start = head;
        while (tail_start < path.size() && path.size() - tail_start > keep - head)
            tail_start += char_length(path, tail_start, starts_pair);
        result = before + path.substr(0, head) + ellipsis + path.substr(tail_start) + after;
    }
    result.resize(std::min(result.size(), room));
    std::copy(result.begin(), result.end(), out);
    out[result.size()] = 0;
}

template void format_with_path<char>(char*, std::size_t, const char*, const char*, bool (*)(char));
template void format_with_path<wchar_t>(wchar_t*, std::size_t, const wchar_t*, const wchar_t*,
                                        bool (*)(wchar_t));
