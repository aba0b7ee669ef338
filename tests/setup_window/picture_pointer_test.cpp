// The picture link of the running installer under real pointer input: the
// pointer is moved and pressed on the X display through the rig
// (pointer_rig.py, xdotool), the picture is read back from the screen and
// matched with the installer's two bitmaps, the cursor is the shape the X
// server shows, and opened pages are what the desktop's opener was handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "expected_texts.h"
#include "installer_session.h"
#include "picture_pixels.h"
#include "resources/resource_ids.h"
#include "rig_client.h"

namespace {

const char PROJECT_PAGE[] = "https://kavel-linux.org/";
constexpr DWORD SWAP_MS = 3000;  // a leave notice comes within about 0.5 s
constexpr DWORD OPEN_MS = 10000; // the shell starts a helper that starts the opener
constexpr DWORD QUIET_MS = 1500; // how long "nothing happens" is watched

std::string installer_path()
{
    return own_folder() + "kavel-setup.exe";
}

pixel_block installer_bitmap(int id)
{
    pixel_block block;
    HMODULE module = LoadLibraryExA(installer_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return block;
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    block = bitmap_pixels(bitmap);
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    FreeLibrary(module);
    return block;
}

// The shape the display shows over a window of this program whose class
// cursor is system cursor `id`: what the installer's hand and arrow look like.
std::string shape_of_system_cursor(int id)
{
    std::string class_name = "picture_test_cursor_" + std::to_string(id);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(id));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = class_name.c_str();
    RegisterClassA(&wc);
    // The lower left corner: the installer's dialog is centred.
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, class_name.c_str(), "",
                                  WS_POPUP | WS_VISIBLE, 0, 700, 60, 60, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (window == nullptr)
        return "error no window";
    pump_for(200);
    std::string shape = "error pointer";
    if (pointer_to(20, 720) && pointer_to(30, 730)) {
        pump_for(300);
        shape = cursor_shape();
    }
    DestroyWindow(window);
    pump_for(100);
    return shape;
}

struct cursor_shapes {
    std::string hand, arrow;
};

const cursor_shapes& system_shapes()
{
    static cursor_shapes shapes = {shape_of_system_cursor(32649), shape_of_system_cursor(32512)};
    return shapes;
}

struct PicturePointer : ::testing::Test {
    installer_session installer;
    HWND& main = installer.main;
    HWND picture = nullptr;
    RECT area = {};     // the picture's client area on the screen
    POINT inside = {};  // its middle
    POINT outside = {}; // just left of it, on the dialog
    pixel_block normal, hot;
    size_t opened_before = 0; // pages the cases before opened

    void SetUp() override
    {
        ASSERT_TRUE(rig_present()) << "run under pointer_rig.py";
        opened_before = opened_pages().size();
        const cursor_shapes& shapes = system_shapes();
        ASSERT_NE(shapes.hand.rfind("error", 0), 0u) << shapes.hand;
        ASSERT_NE(shapes.arrow.rfind("error", 0), 0u) << shapes.arrow;
        ASSERT_NE(shapes.hand, shapes.arrow);

        normal = installer_bitmap(IDB_PICTURE);
        hot = installer_bitmap(IDB_PICTURE_HOT);
        ASSERT_EQ(normal.width, 96);
        ASSERT_EQ(hot.width, 96);

        ASSERT_TRUE(pointer_to(5, 5)) << rig_last_answer();
        ASSERT_TRUE(installer.open()) << "main dialog did not open";
        picture = GetDlgItem(main, IDC_PICTURE);
        ASSERT_NE(picture, nullptr);
        GetClientRect(picture, &area);
        MapWindowPoints(picture, nullptr, reinterpret_cast<POINT*>(&area), 2);
        inside = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
        outside = {area.left - 6, inside.y};
        ASSERT_EQ(WindowFromPoint(inside), picture) << "something covers the picture";
        ASSERT_EQ(GetAncestor(WindowFromPoint(outside), GA_ROOT), main);

        ASSERT_TRUE(pointer_to(outside.x, outside.y)) << rig_last_answer();
        ASSERT_TRUE(shows("normal", WAIT_MS)) << "the picture does not show at open";
    }
    void TearDown() override
    {
        pointer_to(5, 5);
        stop_app(&installer.app);
    }

    // What the screen shows of the picture: "normal", "hot" or "other".
    std::string shown_kind()
    {
        pixel_block now = screen_pixels(area);
        int dx = (now.width - normal.width) / 2, dy = (now.height - normal.height) / 2;
        if (share_matching(now, normal, dx, dy) > 0.99)
            return "normal";
        if (share_matching(now, hot, dx, dy) > 0.99)
            return "hot";
        return "other";
    }
    bool shows(const std::string& kind, DWORD ms)
    {
        return pump_until([&] { return shown_kind() == kind; }, ms);
    }
    // Shows `kind` all through the next `ms`.
    bool keeps_showing(const std::string& kind, DWORD ms)
    {
        return !pump_until([&] { return shown_kind() != kind; }, ms);
    }
    bool cursor_becomes(const std::string& shape)
    {
        return pump_until([&] { return cursor_shape() == shape; }, SWAP_MS);
    }
    // The installer's handle of the shown bitmap: not usable here, but a new
    // value means a new image was set.
    LRESULT image_value() { return SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0); }
    bool move_to(POINT p) { return pointer_to(p.x, p.y); }
    // The pages this case opened.
    std::vector<std::string> opened()
    {
        std::vector<std::string> all = opened_pages();
        return std::vector<std::string>(all.begin() + std::min(opened_before, all.size()),
                                        all.end());
    }
};

TEST_F(PicturePointer, EnteringShowsTheHotPictureAndTheHandLeavingTheNormalOneAndTheArrow)
{
    EXPECT_TRUE(cursor_becomes(system_shapes().arrow));
    for (int round = 1; round <= 3; ++round) {
        LRESULT before = image_value();
        ASSERT_TRUE(move_to(inside)) << rig_last_answer();
        EXPECT_TRUE(shows("hot", SWAP_MS)) << "round " << round << ": " << shown_kind();
        EXPECT_TRUE(cursor_becomes(system_shapes().hand)) << "round " << round;
        LRESULT entered = image_value();
        EXPECT_NE(entered, before);

        ASSERT_TRUE(move_to(outside)) << rig_last_answer();
        EXPECT_TRUE(shows("normal", SWAP_MS)) << "round " << round << ": " << shown_kind();
        EXPECT_TRUE(cursor_becomes(system_shapes().arrow)) << "round " << round;
        EXPECT_NE(image_value(), entered);
    }
    EXPECT_TRUE(opened().empty()) << "hovering opened a page";
}

TEST_F(PicturePointer, MovingAboutInsideKeepsTheHotPictureWithoutSettingItAgain)
{
    ASSERT_TRUE(move_to(inside)) << rig_last_answer();
    ASSERT_TRUE(shows("hot", SWAP_MS));
    ASSERT_TRUE(cursor_becomes(system_shapes().hand));
    LRESULT entered = image_value();
    int width = area.right - area.left, height = area.bottom - area.top;
    for (int i = 0; i < 24; ++i) {
        POINT p = {area.left + 4 + (i * 37) % (width - 8), area.top + 4 + (i * 23) % (height - 8)};
        ASSERT_TRUE(move_to(p)) << rig_last_answer();
        EXPECT_EQ(cursor_shape(), system_shapes().hand) << "after a move to " << p.x << "," << p.y;
    }
    pump_for(300);
    EXPECT_EQ(image_value(), entered) << "a move inside set the image again";
    EXPECT_EQ(shown_kind(), "hot");
    EXPECT_EQ(cursor_shape(), system_shapes().hand);

    ASSERT_TRUE(move_to(outside)) << rig_last_answer();
    EXPECT_TRUE(shows("normal", SWAP_MS));
}

TEST_F(PicturePointer, EachPressOpensTheProjectPageOnceAndActsOnThePress)
{
    ASSERT_TRUE(move_to(inside)) << rig_last_answer();
    ASSERT_TRUE(shows("hot", SWAP_MS));
    LRESULT entered = image_value();
    for (size_t press = 1; press <= 3; ++press) {
        // Each press somewhere else, so that no two make a double click.
        ASSERT_TRUE(pointer_to(inside.x - 20 + 15 * static_cast<int>(press), inside.y))
            << rig_last_answer();
        ASSERT_TRUE(button_down()) << rig_last_answer();
        EXPECT_TRUE(pump_until([&] { return opened().size() >= press; }, OPEN_MS))
            << "press " << press << " opened nothing while the button was down";
        ASSERT_TRUE(button_up()) << rig_last_answer();
        pump_for(QUIET_MS);
        ASSERT_EQ(opened().size(), press) << "after press and release " << press;
        EXPECT_EQ(opened().back(), PROJECT_PAGE);
    }
    // Each went through the desktop's shell, which has the user's rights, and
    // not from this elevated program.
    EXPECT_EQ(opened_by(), std::vector<std::string>(opened_pages().size(), "desktop"));
    // A press changes nothing else.
    EXPECT_EQ(image_value(), entered);
    EXPECT_EQ(shown_kind(), "hot");
}

TEST_F(PicturePointer, WhileARunIsInProgressThePictureDoesNotReact)
{
    std::string folder = own_folder();
    DeleteFileA((folder + "7z.started").c_str());
    std::string image = folder + "picture-test.iso";
    std::ofstream(image, std::ios::binary) << "not read: the stand-in 7z only waits";

    ASSERT_TRUE(installer.fill_in(image)) << "drive E: is not offered";
    ASSERT_TRUE(installer.press_start()) << "no progress dialog";
    HWND progress = installer.progress;
    ASSERT_TRUE(wait_until(
        [&] {
            return GetFileAttributesA((folder + "7z.started").c_str()) != INVALID_FILE_ATTRIBUTES;
        },
        WAIT_MS))
        << "the run did not reach the archiver";
    ASSERT_FALSE(IsWindowEnabled(main));

    // The progress dialog away from the picture, so that the pointer is really over it.
    SetWindowPos(progress, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT over, progress_area;
    ASSERT_TRUE(wait_until(
        [&] {
            GetWindowRect(progress, &progress_area);
            return !IntersectRect(&over, &progress_area, &area);
        },
        WAIT_MS))
        << "the progress dialog still covers the picture";
    ASSERT_EQ(GetAncestor(WindowFromPoint(inside), GA_ROOT), main);

    LRESULT before = image_value();
    ASSERT_TRUE(move_to(inside)) << rig_last_answer();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(pointer_to(inside.x - 10 + 5 * i, inside.y + 3 * i)) << rig_last_answer();
    EXPECT_TRUE(keeps_showing("normal", QUIET_MS)) << shown_kind();
    EXPECT_NE(cursor_shape(), system_shapes().hand);

    ASSERT_TRUE(button_down()) << rig_last_answer();
    ASSERT_TRUE(button_up()) << rig_last_answer();
    pump_for(QUIET_MS);
    EXPECT_TRUE(opened().empty()) << "a press on the disabled dialog opened the page";

    ASSERT_TRUE(move_to(outside)) << rig_last_answer();
    EXPECT_TRUE(keeps_showing("normal", QUIET_MS)) << shown_kind();
    EXPECT_EQ(image_value(), before);
    EXPECT_TRUE(IsWindow(progress));
}

} // namespace
