// The main dialog, driven from a second process as a user would work it.
#include <gtest/gtest.h>

#include <fstream>

#include "expected_texts.h"
#include "resources/resource_ids.h"
#include "ui_driver.h"

namespace {

constexpr DWORD WAIT_MS = 15000;

std::string installer_path()
{
    return own_folder() + "kavel-setup.exe";
}

struct MainDialog : ::testing::Test {
    app_process app;
    HWND dialog = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(start_app(&app, installer_path()));
        dialog = wait_dialog_titled(app.pi.dwProcessId, cp936(expected_text(1)), WAIT_MS);
        ASSERT_NE(dialog, nullptr) << "main dialog did not open";
    }
    void TearDown() override { stop_app(&app); }

    HWND box_of_dialog() { return wait_dialog(app.pi.dwProcessId, dialog, WAIT_MS); }
    // The error box of Start shows `text`; answers it.
    void expect_error_box(const std::string& text)
    {
        HWND box = box_of_dialog();
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(window_text(box), cp936(expected_text(11)));
        EXPECT_EQ(message_box_text(box), text);
        EXPECT_TRUE(message_box_has_icon(box));
        answer(box);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(box); }, WAIT_MS));
    }
    bool focus_is(int id)
    {
        return wait_until([&] { return focus_of(dialog) == GetDlgItem(dialog, id); }, WAIT_MS);
    }
    // Nothing but the main dialog is open after a short while.
    bool only_main_dialog_after(DWORD ms)
    {
        Sleep(ms);
        auto open = dialogs_of(app.pi.dwProcessId);
        return IsWindow(dialog) && open.size() == 1 && open[0] == dialog;
    }
};

TEST_F(MainDialog, OpensWithEveryTextFromTheStringTable)
{
    EXPECT_EQ(window_text(dialog), cp936(expected_text(1)));
    const struct {
        int control;
        int string;
    } texts[] = {{1001, 2}, {1003, 3}, {1002, 4}, {1007, 5},
                 {1005, 6}, {1008, 7}, {1009, 8}, {1010, 9}};
    for (const auto& t : texts)
        EXPECT_EQ(control_text(dialog, t.control), cp936(expected_text(t.string)))
            << "control " << t.control;
    EXPECT_EQ(control_text(dialog, 102), "&Exit");
    EXPECT_EQ(control_text(dialog, 1004), "");
    EXPECT_TRUE(focus_is(1004));
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1008, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1008)));
    EXPECT_EQ(combo_selection(dialog, 1006), CB_ERR);
    // The pictures are in place: the help icon and the picture's bitmap.
    EXPECT_NE(SendDlgItemMessageA(dialog, 102, BM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_NE(SendDlgItemMessageA(dialog, 1012, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

TEST_F(MainDialog, StartWithoutPathAsksForTheImage)
{
    // Even with a drive chosen, if there is one, the path comes first.
    if (combo_count(dialog, 1006) > 0)
        select_combo(dialog, 1006, 0);
    SetFocus(nullptr);
    click(dialog, 1009);
    expect_error_box(cp936(expected_text(10)));
    EXPECT_TRUE(focus_is(1004));
}

TEST_F(MainDialog, StartWithFolderOrMissingPathNamesThePath)
{
    std::string folder = own_folder() + "ui_folder_probe";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string paths[] = {folder, own_folder() + "no such image.iso"};
    for (const std::string& path : paths) {
        set_control_text(dialog, 1004, path);
        click(dialog, 1009);
        char message[1024];
        wsprintfA(message, cp936(expected_text(12)).c_str(), path.c_str());
        expect_error_box(message);
        EXPECT_TRUE(focus_is(1004));
    }
}

TEST_F(MainDialog, AnOverlongPathIsShownShortenedButStillNamesTheFile)
{
    // Fits the path buffer, but not the message with it.
    std::string path = "C:\\" + std::string(1000, 'd') + "\\missing.iso";
    set_control_text(dialog, 1004, path);
    ASSERT_EQ(control_text(dialog, 1004).size(), path.size());
    click(dialog, 1009);
    HWND box = box_of_dialog();
    ASSERT_NE(box, nullptr);
    std::string text = message_box_text(box);
    std::string ending = "\\missing.iso" + cp936(expected_text(12)).substr(2);
    EXPECT_LE(text.size(), 1023u);
    EXPECT_EQ(text.rfind("C:\\ddd", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
    answer(box);
    EXPECT_TRUE(focus_is(1004));
}

TEST_F(MainDialog, StartWithAValidFileButNoDriveAsksForTheDrive)
{
    std::string image = own_folder() + "ui_probe.iso";
    std::ofstream(image) << "not looked at before a run";
    set_control_text(dialog, 1004, image);
    click(dialog, 1009);
    expect_error_box(cp936(expected_text(13)));
    EXPECT_TRUE(focus_is(1006));
}

TEST_F(MainDialog, EscapeAndEnterDoNothing)
{
    HWND edit = GetDlgItem(dialog, 1004);
    ASSERT_TRUE(focus_is(1004));
    press_key(edit, VK_ESCAPE);
    EXPECT_TRUE(only_main_dialog_after(500));
    set_control_text(dialog, 1004, "C:\\some.iso");
    press_key(edit, VK_RETURN);
    EXPECT_TRUE(only_main_dialog_after(500));
    EXPECT_EQ(wait_exit(&app, 0), STILL_ACTIVE);
}

TEST_F(MainDialog, ExitButtonEndsWithCodeZero)
{
    click(dialog, 1010);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
}

TEST_F(MainDialog, CloseBoxEndsWithCodeZero)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
}

TEST_F(MainDialog, HelpShowsTheAboutTextWithoutIcon)
{
    click(dialog, 102);
    HWND box = box_of_dialog();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(window_text(box), cp936(expected_text(39)));
    EXPECT_EQ(message_box_text(box), cp936(expected_text(40)));
    EXPECT_FALSE(message_box_has_icon(box));
    answer(box);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(box); }, WAIT_MS));
}

TEST_F(MainDialog, BrowseStartsEmptyWithTheIsoFilterAndFillsTheEdit)
{
    std::string image = own_folder() + "browse probe.iso";
    std::ofstream(image) << "x";
    set_control_text(dialog, 1004, "C:\\previous\\path.iso");
    click(dialog, 1005);
    HWND chooser = box_of_dialog();
    ASSERT_NE(chooser, nullptr) << "no open-file dialog";

    // The file name field (cmb13 on current systems, edt1 on older ones) starts empty.
    HWND name = GetDlgItem(chooser, 0x47c);
    if (name == nullptr)
        name = GetDlgItem(chooser, 0x480);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(window_text(name), "");
    // The file type list offers "ISO Images" first and has it chosen.
    HWND types = GetDlgItem(chooser, 0x470);
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(SendMessageA(types, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(combo_entry(chooser, 0x470, 0), "ISO Images");
    EXPECT_EQ(combo_entry(chooser, 0x470, 1), "All");
    EXPECT_EQ(combo_count(chooser, 0x470), 2);

    std::wstring wide_path(image.begin(), image.end());
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide_path.c_str()));
    answer(chooser, IDOK);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }, WAIT_MS));
    EXPECT_TRUE(wait_until([&] { return control_text(dialog, 1004) == image; }, WAIT_MS))
        << control_text(dialog, 1004);
}

TEST_F(MainDialog, CancelledBrowseLeavesThePath)
{
    set_control_text(dialog, 1004, "C:\\kept.iso");
    click(dialog, 1005);
    HWND chooser = box_of_dialog();
    ASSERT_NE(chooser, nullptr);
    answer(chooser, IDCANCEL);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }, WAIT_MS));
    EXPECT_EQ(control_text(dialog, 1004), "C:\\kept.iso");
}

TEST(Installer, ArgumentsChangeNothing)
{
    app_process app;
    ASSERT_TRUE(start_app(&app, installer_path(), "/q --format E: x.iso"));
    HWND dialog = wait_dialog_titled(app.pi.dwProcessId, cp936(expected_text(1)), WAIT_MS);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(control_text(dialog, 1004), "");
    click(dialog, 1010);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
    stop_app(&app);
}

} // namespace
