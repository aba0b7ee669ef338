#include "install/progress_math.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

constexpr uint64_t MIB = 1048576;

TEST(FreeSpace, NeedRoundsTheTotalPlusOneDown)
{
    EXPECT_EQ(0, space_need_mib(0));
    EXPECT_EQ(0, space_need_mib(1048574));
    EXPECT_EQ(1, space_need_mib(1048575));
    EXPECT_EQ(1, space_need_mib(1048576));
    EXPECT_EQ(2048, space_need_mib(2147483647)); // the largest 32-bit total
    EXPECT_EQ(4768, space_need_mib(5000000000LL));
    EXPECT_EQ(INT64_MAX >> 20, space_need_mib(INT64_MAX - 1));
    EXPECT_EQ((INT64_MAX >> 20) + 1, space_need_mib(INT64_MAX)); // no overflow at the top
}

TEST(FreeSpace, ExactlyTheNeedIsEnoughOneByteLessIsNot)
{
    struct {
        int64_t total;
        uint64_t need_bytes;
    } cases[] = {
        {1048575, 1 * MIB},
        {300000000, 286 * MIB},
        {2147483647, 2048 * MIB},
        {5000000000LL, 4768 * MIB}, // past 4 GiB: no 32-bit clamp or wrap
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(space_is_enough(c.need_bytes, c.total)) << c.total;
        EXPECT_FALSE(space_is_enough(c.need_bytes - 1, c.total)) << c.total;
    }
    // A total that needs 0 MiB fits anywhere.
    EXPECT_TRUE(space_is_enough(0, 1048574));
}

TEST(FreeSpace, MessageShowsTheTotalWithoutTheAddedOne)
{
    EXPECT_EQ(0, space_message_mib(1048575)); // while the need is 1
    EXPECT_EQ(1, space_message_mib(1048576));
    EXPECT_EQ(2047, space_message_mib(2147483647));
    EXPECT_EQ(2861, space_message_mib(3000000000LL));
    EXPECT_EQ(INT_MAX, space_message_mib(INT64_MAX));
}

TEST(ProgressBar, FollowsTheBytesWrittenUpToNinety)
{
    EXPECT_EQ(45, extraction_bar_position(50000000, 100000000, 300000000));
    EXPECT_EQ(0, extraction_bar_position(0, 0, 300000000));
    EXPECT_EQ(90, extraction_bar_position(100000000, 200000000, 300000000));
    EXPECT_EQ(12, extraction_bar_position(1, 0, 7)); // 12.86, truncated
    EXPECT_EQ(89, extraction_bar_position(299999999, 0, 300000000));
    // The product leaves 32 bits long before the sum does.
    EXPECT_EQ(90, extraction_bar_position(23860930, 0, 23860930));
}

TEST(ProgressBar, SizesPastTwoAndFourGiB)
{
    EXPECT_EQ(45, extraction_bar_position(1000000000, 2000000000, 6000000000LL));
    EXPECT_EQ(67, extraction_bar_position(3000000000LL, 1500000000, 6000000000LL));
    EXPECT_EQ(90, extraction_bar_position(4500000000LL, 1500000000, 6000000000LL));
    EXPECT_EQ(90, extraction_bar_position(INT64_MAX, 0, INT64_MAX));
    EXPECT_EQ(44, extraction_bar_position(INT64_MAX / 2, 0, INT64_MAX));
    EXPECT_EQ(89, extraction_bar_position(INT64_MAX - 1, 0, INT64_MAX));
}

TEST(ProgressBar, OverrunStopsAtTheTopOfTheRange)
{
    EXPECT_EQ(99, extraction_bar_position(11, 0, 10));
    EXPECT_EQ(100, extraction_bar_position(12, 0, 10));
    EXPECT_EQ(100, extraction_bar_position(INT64_MAX, INT64_MAX, 1));
}

TEST(ProgressBar, NoTotalLeavesTheBarWhereItIs)
{
    EXPECT_EQ(BAR_UNCHANGED, extraction_bar_position(0, 0, 0));
    EXPECT_EQ(BAR_UNCHANGED, extraction_bar_position(4096, 0, 0));
}

} // namespace
