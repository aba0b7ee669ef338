#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/compose_text.h"

namespace {

bool gbk_lead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
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
            i += gbk_lead(static_cast<unsigned char>(text[i])) ? 2 : 1;
        EXPECT_EQ(i, dots) << "head cut inside a character, extra " << extra;
        std::string tail = text.substr(dots + 3);
        std::size_t j = 0;
        while (j < tail.size() && tail[j] != '\\')
            j += gbk_lead(static_cast<unsigned char>(tail[j])) ? 2 : 1;
        EXPECT_EQ(tail.substr(j), "\\image.iso \xB2\xBB.") << "extra " << extra;
    }
}

} // namespace
