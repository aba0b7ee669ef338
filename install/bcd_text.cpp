#include "install/bcd_text.h"

#include <cctype>
#include <cstring>

namespace {

// Whether `text` begins with an identifier: braces around 32 hexadecimal
// digits, with dashes after the 8th, 12th, 16th and 20th.
bool is_identifier_at(const char* text)
{
    if (text[0] != '{')
        return false;
    for (std::size_t i = 1; i < BCD_ID_SIZE - 2; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (dash ? c != '-' : !std::isxdigit(c))
            return false;
    }
    return text[BCD_ID_SIZE - 2] == '}';
}

} // namespace

bool find_bcd_identifier(const char* text, char* id)
{
    id[0] = '\0';
    for (const char* brace = std::strchr(text, '{'); brace != nullptr;
         brace = std::strchr(brace + 1, '{')) {
        if (is_identifier_at(brace)) {
            std::memcpy(id, brace, BCD_ID_SIZE - 1);
            id[BCD_ID_SIZE - 1] = '\0';
            return true;
        }
    }
    return false;
}
