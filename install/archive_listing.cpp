#include "install/archive_listing.h"

#include <regex.h>

#include <cstddef>

namespace {

constexpr int MATCH_SLOTS = 10;

// Basic syntax; each \r in a pattern is the CR byte itself, since GNU basic
// syntax reads a backslash-r as a plain r.
constexpr const char* SUMMARY_CLASSIC =
    " \\+\\([0-9]\\+\\) \\+[0-9]\\+ \\+[0-9]\\+ files, [0-9]\\+ folders";
constexpr const char* SUMMARY_CURRENT =
    " \\+\\([0-9]\\+\\) \\+[0-9]\\+ \\+[0-9]\\+ files\\(, [0-9]\\+ folders\\)\\?\\($\\|[\r\n]\\)";
constexpr const char* FILE_LINE_CLASSIC =
    ":[0-9]\\+ \\+\\([0-9]\\+\\) \\+[0-9]\\+ \\+\\([^\r]\\+\\)\r";
constexpr const char* FILE_LINE_CURRENT =
    ":[0-9]\\+ \\+\\.[^ \r\n]\\{4\\} \\+\\([0-9]\\+\\) \\+[0-9]\\+ \\+\\([^\r]\\+\\)\r";

// First match of `pattern` in `text`: 1 found, 0 none, LISTING_NO_PATTERN.
int search_once(const char* pattern, int flags, const char* text, regmatch_t* match)
{
    regex_t re;
    if (regcomp(&re, pattern, flags) != 0)
        return LISTING_NO_PATTERN;
    int rc = regexec(&re, text, MATCH_SLOTS, match, 0);
    regfree(&re);
    return rc == 0 ? 1 : 0;
}

// Decimal digits to a size; a value past the 64-bit range stays at its top.
int64_t parse_size(const char* digits, std::ptrdiff_t length)
{
    int64_t value = 0;
    for (std::ptrdiff_t i = 0; i < length; ++i) {
        int digit = digits[i] - '0';
        if (value > (INT64_MAX - digit) / 10)
            return INT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// The name goes into a quoted 7z argument and a target path; none of these
// may end the quotes, name another folder, or act as a wildcard. 7-Zip reads
// an argument that begins with '-' as a switch and one that begins with '@'
// as a list file, quotes or not.
bool name_is_safe(const char* name, std::ptrdiff_t length)
{
    if (length > 0 && (name[0] == '-' || name[0] == '@'))
        return false;
    for (std::ptrdiff_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f || c == '"' || c == '\\' || c == '/' || c == ':' || c == '*' ||
            c == '?')
            return false;
    }
    return true;
}

const char* file_line_pattern(int shape)
{
    return shape == LISTING_SHAPE_CURRENT ? FILE_LINE_CURRENT : FILE_LINE_CLASSIC;
}

// The classic file lines when any stands in the text, else the current ones.
int choose_shape(const char* text)
{
    regmatch_t match[MATCH_SLOTS];
    int found = search_once(FILE_LINE_CLASSIC, 0, text, match);
    if (found < 0)
        return found;
    return found ? LISTING_SHAPE_CLASSIC : LISTING_SHAPE_CURRENT;
}

// Where the search goes on after a file line: past the LF that follows its CR,
// but never past the end of the text.
std::ptrdiff_t after_line(const char* line, const regmatch_t* match)
{
    std::ptrdiff_t end = match[0].rm_eo;
    return line[end] != '\0' ? end + 1 : end;
}

} // namespace

int listing_read_total(char* text, int64_t* total)
{
    regmatch_t match[MATCH_SLOTS];
    int found = search_once(SUMMARY_CLASSIC, REG_ICASE, text, match);
    if (found == 0)
        found = search_once(SUMMARY_CURRENT, REG_ICASE, text, match);
    if (found < 0)
        return LISTING_NO_PATTERN;
    if (found == 0)
        return 1;
    text[match[1].rm_eo] = '\0';
    *total = parse_size(text + match[1].rm_so, match[1].rm_eo - match[1].rm_so);
    return 0;
}

int listing_check_files(const char* text)
{
    int shape = choose_shape(text);
    if (shape < 0)
        return shape;
    regex_t re;
    if (regcomp(&re, file_line_pattern(shape), 0) != 0)
        return LISTING_NO_PATTERN;
    // The same walk as listing_next_file's, without writing into the text.
    int count = 0;
    regmatch_t match[MATCH_SLOTS];
    const char* line = text;
    while (regexec(&re, line, MATCH_SLOTS, match, 0) == 0) {
        if (!name_is_safe(line + match[2].rm_so, match[2].rm_eo - match[2].rm_so)) {
            count = LISTING_UNSAFE_NAME;
            break;
        }
        ++count;
        line += after_line(line, match);
    }
    regfree(&re);
    return count;
}

void listing_begin(listing_cursor* cursor, char* text)
{
    cursor->next = text;
    cursor->shape = choose_shape(text);
}

int listing_next_file(listing_cursor* cursor, int64_t* size, const char** name)
{
    if (cursor->shape < 0)
        return cursor->shape;
    regmatch_t match[MATCH_SLOTS];
    char* line = cursor->next;
    int found = search_once(file_line_pattern(cursor->shape), 0, line, match);
    if (found < 0)
        return found;
    if (found == 0)
        return LISTING_END;
    if (!name_is_safe(line + match[2].rm_so, match[2].rm_eo - match[2].rm_so))
        return LISTING_UNSAFE_NAME;
    std::ptrdiff_t next = after_line(line, match);
    line[match[1].rm_eo] = '\0';
    line[match[2].rm_eo] = '\0'; // the CR
    *size = parse_size(line + match[1].rm_so, match[1].rm_eo - match[1].rm_so);
    *name = line + match[2].rm_so;
    cursor->next = line + next;
    return LISTING_FILE;
}
