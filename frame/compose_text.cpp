#include "frame/compose_text.h"

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

// Length of the character that starts at text[i].
std::size_t char_length(const char* text, std::size_t i, std::size_t len,
                        bool (*is_lead_byte)(unsigned char))
{
    if (is_lead_byte && is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < len)
        return 2;
    return 1;
}

} // namespace

void format_with_path(char* out, std::size_t size, const char* format, const char* path,
                      bool (*is_lead_byte)(unsigned char))
{
    if (size == 0)
        return;
    if (compose_text(out, size, format, path))
        return;

    const char* mark = std::strstr(format, "%s");
    if (!mark) {
        compose_text(out, size, "%s", format);
        return;
    }
    std::string before(format, mark);
    std::string after(mark + 2);
    std::size_t fixed = before.size() + after.size();
    static const char ellipsis[] = "...";
    std::size_t room = size - 1; // bytes for text, terminator aside
    if (fixed + 3 >= room) {
        // Even the message alone barely fits: show it without the path.
        std::snprintf(out, size, "%s%s", before.c_str(), after.c_str());
        return;
    }
    std::size_t keep = room - fixed - 3; // bytes of the path that can stay
    std::size_t len = std::strlen(path);

    // Split the characters into a head and a tail; the tail, which names the
    // file, gets the larger share.
    std::size_t head_budget = keep / 3;
    std::size_t head = 0;
    while (head < len) {
        std::size_t c = char_length(path, head, len, is_lead_byte);
        if (head + c > head_budget)
            break;
        head += c;
    }
    std::size_t tail_budget = keep - head;
    // Walk forward from the head to the first character boundary whose rest fits.
    std::size_t tail_start = head;
    while (tail_start < len && len - tail_start > tail_budget)
        tail_start += char_length(path, tail_start, len, is_lead_byte);

    std::string text = before;
    text.append(path, head);
    text += ellipsis;
    text.append(path + tail_start);
    text += after;
    std::snprintf(out, size, "%s", text.c_str());
}
