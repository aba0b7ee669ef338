#include "frame/wide_text.h"

#include <cstdarg>
#include <cstdio>

bool compose_wide(wchar_t* buf, std::size_t size, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    // The runtime's own function: its %s is a wide text, as the string table's
    // formats need.
    int n = _vsnwprintf(buf, size, format, args);
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size > 0)
            buf[0] = L'\0';
        return false;
    }
    return true;
}

void compose_wide_cut(wchar_t* buf, std::size_t size, const wchar_t* format, va_list args)
{
    if (size == 0)
        return;
    int n = _vsnwprintf(buf, size, format, args);
    if (n < 0 || static_cast<std::size_t>(n) >= size)
        buf[size - 1] = L'\0';
}

bool widen(const char* text, UINT code_page, wchar_t* out, std::size_t size)
{
    if (MultiByteToWideChar(code_page, 0, text, -1, out, static_cast<int>(size)) != 0)
        return true;
    if (size > 0)
        out[0] = L'\0';
    return false;
}

bool narrow(const wchar_t* text, UINT code_page, char* out, std::size_t size)
{
    if (WideCharToMultiByte(code_page, 0, text, -1, out, static_cast<int>(size), nullptr,
                            nullptr) != 0)
        return true;
    if (size > 0)
        out[0] = '\0';
    return false;
}

wide_copy widened(const char* text, UINT code_page)
{
    wide_copy copy;
    widen(text, code_page, copy.text, TEXT_BUFFER_SIZE);
    return copy;
}
