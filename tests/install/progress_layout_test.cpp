#include "install/progress_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "x y width height", to compare a rectangle whole.
std::string at(const layout_rect& r)
{
    return std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
           std::to_string(r.height);
}

TEST(ProgressLayout, ControlsForTheOpeningSize)
{
    // 357 x 225 dialog units in MS Sans Serif 8 come to about 536 x 366 pixels.
    progress_layout l = progress_dialog_layout(536, 366, 78, 28);
    EXPECT_EQ("452 332 78 28", at(l.button));
    EXPECT_EQ("6 6 524 320", at(l.log));
    EXPECT_EQ("6 333 440 26", at(l.bar));
}

TEST(ProgressLayout, MarginsAndGapsHoldForAnySize)
{
    const int sizes[][4] = {{536, 366, 78, 28}, {1920, 1017, 78, 28}, {200, 120, 52, 17}};
    for (const auto& s : sizes) {
        int width = s[0], height = s[1], bw = s[2], bh = s[3];
        progress_layout l = progress_dialog_layout(width, height, bw, bh);
        // The button keeps its size in the lower right corner.
        EXPECT_EQ(bw, l.button.width);
        EXPECT_EQ(bh, l.button.height);
        EXPECT_EQ(width - 6, l.button.x + l.button.width);
        EXPECT_EQ(height - 6, l.button.y + l.button.height);
        // The log follows both dimensions, 6 pixels above the bottom row.
        EXPECT_EQ(width - 6, l.log.x + l.log.width);
        EXPECT_EQ(l.button.y - 6, l.log.y + l.log.height);
        // The bar: 6 pixels before the button, 1 inside its top and bottom.
        EXPECT_EQ(l.button.x - 6, l.bar.x + l.bar.width);
        EXPECT_EQ(l.button.y + 1, l.bar.y);
        EXPECT_EQ(l.button.y + l.button.height - 1, l.bar.y + l.bar.height);
    }
}

TEST(ProgressLayout, MinimisedWindowGivesNoNegativeSizes)
{
    progress_layout l = progress_dialog_layout(0, 0, 78, 28);
    EXPECT_EQ(-84, l.button.x);
    EXPECT_EQ(-34, l.button.y);
    EXPECT_EQ(0, l.log.width);
    EXPECT_EQ(0, l.log.height);
    EXPECT_EQ(0, l.bar.width);
    EXPECT_EQ(26, l.bar.height);
}

} // namespace
