// The picture link's window procedure inside the test process: the main
// dialog's template with a dialog procedure of the test's own, the picture
// subclassed as the installer does it, and mouse messages sent straight to
// it. Here the bitmaps and the cursor are this process's own handles, so
// their swaps and releases can be seen one by one.
#include <gtest/gtest.h>

#include "frame/app.h"
#include "picture_pixels.h"
#include "resources/resource_ids.h"
#include "rig_client.h"
#include "setup_window/main_dialog.h"
#include "setup_window/picture_link.h"

namespace {

const char PROJECT_PAGE[] = "https://kavel-linux.org/";
constexpr DWORD OPEN_MS = 10000;
constexpr DWORD QUIET_MS = 1500;

HBITMAP first_picture; // the bitmap the dialog gave the picture at open
int picture_clicks;    // click notices the picture sent its dialog

INT_PTR CALLBACK test_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        main_dialog = dialog;
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        link_picture(picture);
        first_picture = LoadBitmapA(app_instance, MAKEINTRESOURCEA(IDB_PICTURE));
        SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(first_picture));
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_PICTURE && HIWORD(wparam) == STN_CLICKED)
            ++picture_clicks;
        return TRUE;
    default:
        return FALSE;
    }
}

HCURSOR system_cursor(int id)
{
    return LoadCursorA(nullptr, MAKEINTRESOURCEA(id));
}

struct PictureSwap : ::testing::Test {
    HWND dialog = nullptr;
    HWND picture = nullptr;
    pixel_block normal_pixels, hot_pixels;

    void SetUp() override
    {
        app_instance = GetModuleHandleA(nullptr);
        // Keep the real pointer off the dialog, so that only the messages sent here reach it.
        SetCursorPos(0, 0);
        picture_clicks = 0;
        dialog = CreateDialogParamA(app_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                    test_dialog_proc, 0);
        ASSERT_NE(dialog, nullptr);
        ShowWindow(dialog, SW_HIDE);
        picture = GetDlgItem(dialog, IDC_PICTURE);
        ASSERT_NE(GetWindowLongW(picture, GWL_WNDPROC), GetClassLongW(picture, GCL_WNDPROC))
            << "not subclassed";
        ASSERT_EQ(shown(), first_picture);
        normal_pixels = reference_pixels(IDB_PICTURE);
        hot_pixels = reference_pixels(IDB_PICTURE_HOT);
        ASSERT_EQ(normal_pixels.width, 96);
        ASSERT_EQ(hot_pixels.width, 96);
        ASSERT_NE(normal_pixels.pixels, hot_pixels.pixels);
    }
    void TearDown() override
    {
        if (dialog == nullptr)
            return;
        leave(); // the picture's state is process-wide: the next case starts outside
        HBITMAP last = shown();
        DestroyWindow(dialog);
        DeleteObject(last); // a static control leaves its image to its owner
    }

    static pixel_block reference_pixels(int id)
    {
        HBITMAP bitmap = LoadBitmapA(app_instance, MAKEINTRESOURCEA(id));
        pixel_block block = bitmap_pixels(bitmap);
        DeleteObject(bitmap);
        return block;
    }
    HBITMAP shown()
    {
        return reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    }
    void move(int x, int y) { SendMessageA(picture, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void leave() { SendMessageA(picture, WM_MOUSELEAVE, 0, 0); }
    // The bitmap shown now: "normal", "hot" or "other".
    std::string shown_kind()
    {
        pixel_block now = bitmap_pixels(shown());
        if (now.pixels == normal_pixels.pixels)
            return "normal";
        if (now.pixels == hot_pixels.pixels)
            return "hot";
        return "other";
    }
};

TEST_F(PictureSwap, EnteringShowsTheHotPictureAndTheHandAndReleasesTheNormalOne)
{
    SetCursor(system_cursor(32514)); // IDC_WAIT: neither of the picture's two
    move(40, 40);
    HBITMAP hot = shown();
    EXPECT_NE(hot, first_picture);
    EXPECT_EQ(shown_kind(), "hot");
    EXPECT_EQ(GetObjectType(first_picture), 0u) << "the replaced normal picture is still alive";
    EXPECT_EQ(GetCursor(), system_cursor(32649)); // IDC_HAND

    leave();
    HBITMAP normal = shown();
    EXPECT_NE(normal, hot);
    EXPECT_EQ(shown_kind(), "normal");
    EXPECT_EQ(GetObjectType(hot), 0u) << "the replaced hot picture is still alive";
    EXPECT_EQ(GetCursor(), system_cursor(32512)); // IDC_ARROW

    // In again after the leave: the picture reacts as the first time.
    SetCursor(system_cursor(32514));
    move(10, 80);
    EXPECT_EQ(shown_kind(), "hot");
    EXPECT_EQ(GetObjectType(normal), 0u);
    EXPECT_EQ(GetCursor(), system_cursor(32649));
}

TEST_F(PictureSwap, MovingAboutInsideSetsNoImageAgain)
{
    move(48, 48);
    HBITMAP hot = shown();
    ASSERT_EQ(shown_kind(), "hot");
    int alive = live_bitmaps();
    for (int y = 0; y < 96; y += 8)
        for (int x = 0; x < 96; x += 8) {
            move(x, y);
            ASSERT_EQ(shown(), hot) << "a move to " << x << "," << y << " set the image again";
        }
    EXPECT_EQ(live_bitmaps(), alive);
    EXPECT_EQ(GetObjectType(hot), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(shown_kind(), "hot");
}

TEST_F(PictureSwap, TwoHundredEntriesAndExitsKeepOnlyTheShownBitmapAlive)
{
    int alive = live_bitmaps();
    for (int cycle = 0; cycle < 200; ++cycle) {
        HBITMAP before = shown();
        move(cycle % 96, 95 - cycle % 96);
        HBITMAP hot = shown();
        ASSERT_NE(hot, before) << "cycle " << cycle;
        ASSERT_EQ(GetObjectType(before), 0u)
            << "cycle " << cycle << ": normal picture not released";
        leave();
        ASSERT_NE(shown(), hot) << "cycle " << cycle;
        ASSERT_EQ(GetObjectType(hot), 0u) << "cycle " << cycle << ": hot picture not released";
    }
    EXPECT_EQ(live_bitmaps(), alive) << "bitmaps stay behind after 200 entries and exits";
    EXPECT_EQ(shown_kind(), "normal");
}

TEST_F(PictureSwap, TheCursorQueryIsAnsweredWithoutResettingTheCursor)
{
    LPARAM over_client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    // The control's own procedure would put its class cursor back ...
    SetCursor(system_cursor(32649));
    CallWindowProcW(reinterpret_cast<WNDPROC>(GetClassLongW(picture, GCL_WNDPROC)), picture,
                    WM_SETCURSOR, reinterpret_cast<WPARAM>(picture), over_client);
    ASSERT_NE(GetCursor(), system_cursor(32649)) << "the control's own procedure keeps the cursor";
    // ... the picture answers the query itself and keeps the hand.
    SetCursor(system_cursor(32649));
    EXPECT_EQ(SendMessageA(picture, WM_SETCURSOR, reinterpret_cast<WPARAM>(picture), over_client),
              TRUE);
    EXPECT_EQ(GetCursor(), system_cursor(32649));
}

TEST_F(PictureSwap, EachPressOpensTheProjectPageOnceAndTheReleaseNothing)
{
    ASSERT_TRUE(rig_present()) << "run under pointer_rig.py, which records opened pages";
    ASSERT_TRUE(opened_pages().empty());
    move(30, 30);
    HBITMAP hot = shown();
    for (size_t press = 1; press <= 3; ++press) {
        SendMessageA(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 30));
        EXPECT_TRUE(pump_until([&] { return opened_pages().size() >= press; }, OPEN_MS))
            << "press " << press << " opened nothing";
        SendMessageA(picture, WM_LBUTTONUP, 0, MAKELPARAM(30, 30));
        pump_for(QUIET_MS);
        ASSERT_EQ(opened_pages().size(), press) << "after press and release " << press;
        EXPECT_EQ(opened_pages().back(), PROJECT_PAGE);
    }
    // The presses went on to the control, which tells its dialog; the state stays.
    EXPECT_EQ(picture_clicks, 3);
    EXPECT_EQ(shown(), hot);
}

TEST(LiveBitmapCount, SeesBitmapsMadeAndReleased)
{
    // The leak checks above rely on this count.
    int before = live_bitmaps();
    HBITMAP made[3];
    for (HBITMAP& b : made)
        b = CreateBitmap(4, 4, 1, 32, nullptr);
    EXPECT_EQ(live_bitmaps(), before + 3);
    for (HBITMAP b : made)
        DeleteObject(b);
    EXPECT_EQ(live_bitmaps(), before);
}

} // namespace
