#pragma once
// Pixels of bitmaps and of the screen, as 0x00RRGGBB values row by row from
// the top, so that what a window shows can be matched with a bitmap.
#include <windows.h>

#include <vector>

struct pixel_block {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;
};

// The bitmap's pixels; empty when the handle is no bitmap.
pixel_block bitmap_pixels(HBITMAP bitmap);
// What the screen shows in `area` (screen coordinates).
pixel_block screen_pixels(const RECT& area);
// Share of the pixels of `image` that `shown` has in the same place, when
// `shown` is laid on `image` with its top left corner at (dx, dy); only the
// overlap counts. 0 when they do not overlap.
double share_matching(const pixel_block& shown, const pixel_block& image, int dx, int dy);

// Live bitmaps of this process. Reads Wine's handle table, which also takes a
// handle by its table index alone; elsewhere it may see nothing.
int live_bitmaps();
