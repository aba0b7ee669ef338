#pragma once
// Texts between the program's UTF-16 and the byte strings of files, pipes and
// the drive log. Any thread.
#include <windows.h>

#include <cstddef>

#include "frame/exit_codes.h"

// printf into `size` wide characters with the platform's wide rules: %s takes
// a wide text, %hs a byte text, %c a character. False, leaving an empty text,
// when the result would not fit: a command line or path is never cut.
bool compose_wide(wchar_t* buf, std::size_t size, const wchar_t* format, ...);

// The same with a va_list, cutting a text that would not fit instead: for
// log lines, where a cut loses nothing but text.
void compose_wide_cut(wchar_t* buf, std::size_t size, const wchar_t* format, va_list args);

// `text` in code page `code_page` as UTF-16 in `out` of `size` characters;
// false, leaving an empty text, when it does not fit.
bool widen(const char* text, UINT code_page, wchar_t* out, std::size_t size);

// `text` in code page `code_page` in `out` of `size` bytes; characters the
// code page lacks become its default character. False, leaving an empty
// text, when it does not fit.
bool narrow(const wchar_t* text, UINT code_page, char* out, std::size_t size);

// A byte text widened into a buffer of its own, for passing on at once:
// log_text(IDS_COPYING, letter, L"", widened(name).text).
struct wide_copy {
    wchar_t text[TEXT_BUFFER_SIZE];
};
wide_copy widened(const char* text, UINT code_page = CP_ACP);
