// The resource script's texts against the conversions their callers are
// compiled for: a text whose %-fields change without its callers fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "resources/text_conversions.h"

namespace {

std::string read_whole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Every string-table text of the script by number, numbers from the ids header.
std::map<int, std::string> script_texts()
{
    std::string ids = read_whole(KAVEL_SOURCE_DIR "/resources/resource_ids.h");
    std::map<std::string, int> numbers;
    std::regex define(R"(#define (IDS_\w+) (\d+))");
    for (std::sregex_iterator m(ids.begin(), ids.end(), define), end; m != end; ++m)
        numbers[(*m)[1]] = std::stoi((*m)[2]);

    std::string script = read_whole(KAVEL_SOURCE_DIR "/resources/kavel.rc");
    std::map<int, std::string> texts;
    std::regex entry(R"re(\n\s+(IDS_\w+) "(.*)")re");
    for (std::sregex_iterator m(script.begin(), script.end(), entry), end; m != end; ++m) {
        EXPECT_EQ(numbers.count((*m)[1]), 1u) << (*m)[1] << " has no number";
        texts[numbers[(*m)[1]]] = (*m)[2];
    }
    return texts;
}

// The text's conversions in the letters of text_conversions; '?' for any other.
std::string conversions_in(const std::string& text)
{
    std::string kinds;
    std::regex field(R"(%([-+ #0]*[0-9]*(?:\.[0-9]+)?(?:I64|ll|l|h)?[a-zA-Z%]))");
    for (std::sregex_iterator m(text.begin(), text.end(), field), end; m != end; ++m) {
        std::string f = (*m)[1];
        if (f == "%")
            continue;
        kinds += f == "c" ? 'c' : f == "s" ? 's' : f == "d" ? 'd' : f == "I64d" ? 'I' : '?';
    }
    return kinds;
}

TEST(TextConversions, EveryTextOfTheScriptTakesWhatItsCallersPass)
{
    std::map<int, std::string> texts = script_texts();
    ASSERT_GE(texts.size(), 61u);
    for (const auto& [id, text] : texts)
        EXPECT_EQ(conversions_in(text), conversions_of(id)) << "text " << id << ": " << text;
    for (const text_conversions& formatted : FORMATTED_TEXTS)
        EXPECT_EQ(texts.count(formatted.id), 1u)
            << "text " << formatted.id << " is not in the script";
}

TEST(TextConversions, ASwappedFieldOrAChangedWidthIsCaught)
{
    EXPECT_EQ(conversions_in("复制 %c:\\%s%s ... "), "css");
    EXPECT_EQ(conversions_in("复制 %s:\\%c%s ... "), "scs");
    EXPECT_EQ(conversions_in("只读回%lld字节 100%%"), "?");
    static_assert(text_takes<IDS_COPYING, char, const wchar_t*, wchar_t*>());
    static_assert(!text_takes<IDS_COPYING, const wchar_t*, char, wchar_t*>());
    static_assert(!text_takes<IDS_DIFFERS_AT, char, const wchar_t*, int>());
    static_assert(!text_takes<IDS_FORMATTING>());
}

} // namespace
