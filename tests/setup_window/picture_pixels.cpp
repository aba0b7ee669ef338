#include "picture_pixels.h"

namespace {

BITMAPINFO top_down_32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

void keep_colour_only(pixel_block* block)
{
    for (DWORD& p : block->pixels)
        p &= 0xFFFFFF;
}

} // namespace

pixel_block bitmap_pixels(HBITMAP bitmap)
{
    pixel_block block;
    BITMAP bm;
    if (GetObjectType(bitmap) != OBJ_BITMAP || GetObjectA(bitmap, sizeof bm, &bm) == 0)
        return block;
    BITMAPINFO info = top_down_32(bm.bmWidth, bm.bmHeight);
    std::vector<DWORD> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, bm.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != bm.bmHeight)
        return block;
    block.width = bm.bmWidth;
    block.height = bm.bmHeight;
    block.pixels = std::move(pixels);
    keep_colour_only(&block);
    return block;
}

pixel_block screen_pixels(const RECT& area)
{
    pixel_block block;
    int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return block;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = top_down_32(width, height);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib != nullptr) {
        HGDIOBJ old = SelectObject(memory, dib);
        if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
            GdiFlush();
            const DWORD* p = static_cast<const DWORD*>(bits);
            block.width = width;
            block.height = height;
            block.pixels.assign(p, p + static_cast<size_t>(width) * height);
            keep_colour_only(&block);
        }
        SelectObject(memory, old);
        DeleteObject(dib);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return block;
}

double share_matching(const pixel_block& shown, const pixel_block& image, int dx, int dy)
{
    long compared = 0, same = 0;
    for (int y = 0; y < image.height; ++y) {
        int sy = y + dy;
        if (sy < 0 || sy >= shown.height)
            continue;
        for (int x = 0; x < image.width; ++x) {
            int sx = x + dx;
            if (sx < 0 || sx >= shown.width)
                continue;
            ++compared;
            if (shown.pixels[static_cast<size_t>(sy) * shown.width + sx] ==
                image.pixels[static_cast<size_t>(y) * image.width + x])
                ++same;
        }
    }
    return compared == 0 ? 0.0 : static_cast<double>(same) / compared;
}

int live_bitmaps()
{
    int count = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) == OBJ_BITMAP)
            ++count;
    return count;
}
