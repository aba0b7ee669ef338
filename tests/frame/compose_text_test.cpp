#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/compose_text.h"

namespace {

bool gbk_lead(char c)
{
    unsigned char b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

TEST(ComposeText, RefusesWhatDoesNotFitAndLeavesNoCutText)
{
    char buf[8];
    EXPECT_TRUE(compose_text(buf, sizeof buf, "%s", "1234567"));
    EXPECT_STREQ(buf, "1234567");
    EXPECT_FALSE(compose_text(buf, sizeof buf, "%s", "12345678"));
    EXPECT_STREQ(buf, "");
}

TEST(PathMessage, AShortPathStandsWhole)
{
    char out[1024];
    format_with_path(out, sizeof out, "%s is no image.", "C:\\a.iso", gbk_lead);
    EXPECT_STREQ(out, "C:\\a.iso is no image.");
}

TEST(PathMessage, ALongPathIsShortenedInTheMiddleAndStillNamesTheFile)
{
    std::string path = "D:\\" + std::string(1500, 'x') + "\\kavel-2.1.iso";
    char out[1024];
    format_with_path(out, sizeof out, "%s is no image.", path.c_str(), gbk_lead);
    std::string text = out;
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.rfind("D:\\xxx", 0), 0u);
    const std::string tail = "\\kavel-2.1.iso is no image.";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_NE(text.find("..."), std::string::npos);
}

TEST(PathMessage, NeverSplitsADoubleByteCharacter)
{
    // Paths of two-byte characters, at every parity of the cut.
    for (int extra = 0; extra < 4; ++extra) {
        std::string path = "E:\\" + std::string(extra, 'a');
        for (int i = 0; i < 700; ++i)
            path += "\xB9\xE2"; // one GBK character
        path += "\\image.iso";
        char out[1024];
        format_with_path(out, sizeof out, "%s \xB2\xBB.", path.c_str(), gbk_lead);
        std::string text = out;
        ASSERT_LE(text.size(), 1023u);
        std::size_t dots = text.find("...");
        ASSERT_NE(dots, std::string::npos);
        // Walking the head and the tail by characters lands on their ends.
        std::size_t i = 0;
        while (i < dots)
            i += gbk_lead(text[i]) ? 2 : 1;
        EXPECT_EQ(i, dots) << "head cut inside a character, extra " << extra;
        std::string tail = text.substr(dots + 3);
        std::size_t j = 0;
        while (j < tail.size() && tail[j] != '\\')
            j += gbk_lead(tail[j]) ? 2 : 1;
        EXPECT_EQ(tail.substr(j), "\\image.iso \xB2\xBB.") << "extra " << extra;
    }
}

bool high_surrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

TEST(PathMessage, NeverSplitsASurrogatePairOfAWidePath)
{
    for (int extra = 0; extra < 2; ++extra) {
        std::wstring path = L"E:\\" + std::wstring(extra, L'a');
        for (int i = 0; i < 700; ++i)
            path += L"\xD840\xDC0B"; // one character beyond the 16-bit plane
        path += L"\\image.iso";
        wchar_t out[1024];
        format_with_path(out, 1024, L"%s \x4E0D.", path.c_str(), high_surrogate);
        std::wstring text = out;
        ASSERT_LE(text.size(), 1023u);
        std::size_t dots = text.find(L"...");
        ASSERT_NE(dots, std::wstring::npos);
        EXPECT_FALSE(high_surrogate(text[dots - 1])) << "extra " << extra;
        EXPECT_NE(text[dots + 3], L'\xDC0B') << "extra " << extra;
        EXPECT_EQ(text.substr(text.size() - 13), L"\\image.iso \x4E0D.");
    }
}

} // namespace
