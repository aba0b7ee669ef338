// The main dialog, driven from a second process as a user would work it.
#include <gtest/gtest.h>

#include <fstream>

#include "expected_texts.h"
#include "installer_session.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

#include <dlgs.h> // the open-file dialog's control ids, after windows.h

namespace {

struct MainDialog : ::testing::Test {
    installer_session installer;
    app_process& app = installer.app;
    HWND& dialog = installer.main;

    void SetUp() override { ASSERT_TRUE(installer.open()) << "main dialog did not open"; }

    HWND box_of_dialog() { return wait_dialog(app.pi.dwProcessId, dialog, WAIT_MS); }
    // The message box of the dialog has caption `caption`, shows `shown` and
    // an icon or none; answers it.
    void expect_box(int caption, const std::string& shown, bool icon = true)
    {
        HWND box = box_of_dialog();
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(window_text(box), text(caption));
        EXPECT_EQ(message_box_text(box), shown);
        EXPECT_EQ(message_box_has_icon(box), icon);
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
    EXPECT_EQ(window_text(dialog), text(IDS_MAIN_TITLE));
    for (const control_label& t : MAIN_DIALOG_TEXTS)
        EXPECT_EQ(control_text(dialog, t.control), text(t.string)) << "control " << t.control;
    EXPECT_EQ(control_text(dialog, IDC_HELP_BUTTON), "&Exit");
    EXPECT_EQ(control_text(dialog, IDC_IMAGE_PATH), "");
    EXPECT_TRUE(focus_is(IDC_IMAGE_PATH));
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_FORMAT, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT)));
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    // The pictures are in place: the help icon and the picture's bitmap.
    EXPECT_NE(SendDlgItemMessageA(dialog, IDC_HELP_BUTTON, BM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_NE(SendDlgItemMessageA(dialog, IDC_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
}

TEST_F(MainDialog, StartWithoutPathAsksForTheImage)
{
    // Even with a drive chosen, if there is one, the path comes first.
    if (combo_count(dialog, IDC_DRIVE_LIST) > 0)
        select_combo(dialog, IDC_DRIVE_LIST, 0);
    SetFocus(nullptr);
    click(dialog, IDC_START);
    expect_box(IDS_CAP_ERROR, text(IDS_NO_IMAGE));
    EXPECT_TRUE(focus_is(IDC_IMAGE_PATH));
}

TEST_F(MainDialog, StartWithFolderOrMissingPathNamesThePath)
{
    std::string folder = own_folder() + "ui_folder_probe";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string paths[] = {folder, own_folder() + "no such image.iso"};
    for (const std::string& path : paths) {
        set_control_text(dialog, IDC_IMAGE_PATH, path);
        click(dialog, IDC_START);
        char message[1024];
        wsprintfA(message, text(IDS_NOT_AN_IMAGE).c_str(), path.c_str());
        expect_box(IDS_CAP_ERROR, message);
        EXPECT_TRUE(focus_is(IDC_IMAGE_PATH));
    }
}

TEST_F(MainDialog, AnImageOnADriveThisProgramCannotSeeSaysWhy)
{
    // Q: is no drive of the test environment, as a network drive mapped in
    // the user's own session is none for a program run as administrator.
    ASSERT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    const std::string path = "q:\\images\\kavel.iso";
    set_control_text(dialog, IDC_IMAGE_PATH, path);
    click(dialog, IDC_START);
    char message[1024];
    wsprintfA(message, text(IDS_NOT_AN_IMAGE).c_str(), path.c_str());
    expect_box(IDS_CAP_ERROR,
               message + std::string("\r\n\r\n") + format_text(IDS_DRIVE_NOT_VISIBLE, 'Q'));
    EXPECT_TRUE(focus_is(IDC_IMAGE_PATH));
}

TEST_F(MainDialog, AnOverlongPathIsShownShortenedButStillNamesTheFile)
{
    // Fits the path buffer, but not the message with it.
    std::string path = "C:\\" + std::string(1000, 'd') + "\\missing.iso";
    set_control_text(dialog, IDC_IMAGE_PATH, path);
    ASSERT_EQ(control_text(dialog, IDC_IMAGE_PATH).size(), path.size());
    click(dialog, IDC_START);
    HWND box = box_of_dialog();
    ASSERT_NE(box, nullptr);
    std::string shown = message_box_text(box);
    std::string ending = "\\missing.iso" + text(IDS_NOT_AN_IMAGE).substr(2);
    // At most 1023 characters, as the message is composed.
    EXPECT_LE(MultiByteToWideChar(936, 0, shown.c_str(), -1, nullptr, 0), 1024);
    EXPECT_EQ(shown.rfind("C:\\ddd", 0), 0u);
    EXPECT_EQ(shown.substr(shown.size() - ending.size()), ending);
    answer(box);
    EXPECT_TRUE(focus_is(IDC_IMAGE_PATH));
}

TEST_F(MainDialog, StartWithAValidFileButNoDriveAsksForTheDrive)
{
    std::string image = own_folder() + "ui_probe.iso";
    std::ofstream(image) << "not looked at before a run";
    set_control_text(dialog, IDC_IMAGE_PATH, image);
    click(dialog, IDC_START);
    expect_box(IDS_CAP_ERROR, text(IDS_NO_DRIVE));
    EXPECT_TRUE(focus_is(IDC_DRIVE_LIST));
}

TEST_F(MainDialog, EscapeAndEnterDoNothing)
{
    HWND edit = GetDlgItem(dialog, IDC_IMAGE_PATH);
    ASSERT_TRUE(focus_is(IDC_IMAGE_PATH));
    press_key(edit, VK_ESCAPE);
    EXPECT_TRUE(only_main_dialog_after(500));
    set_control_text(dialog, IDC_IMAGE_PATH, "C:\\some.iso");
    press_key(edit, VK_RETURN);
    EXPECT_TRUE(only_main_dialog_after(500));
    EXPECT_EQ(wait_exit(&app, 0), STILL_ACTIVE);
}

TEST_F(MainDialog, ExitButtonEndsWithCodeZero)
{
    click(dialog, IDC_EXIT);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
}

TEST_F(MainDialog, CloseBoxEndsWithCodeZero)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
}

TEST_F(MainDialog, HelpShowsTheAboutTextWithoutIcon)
{
    click(dialog, IDC_HELP_BUTTON);
    expect_box(IDS_CAP_HELP, text(IDS_ABOUT), false);
}

TEST_F(MainDialog, BrowseStartsEmptyWithTheIsoFilterAndFillsTheEdit)
{
    std::string image = own_folder() + "browse probe.iso";
    std::ofstream(image) << "x";
    set_control_text(dialog, IDC_IMAGE_PATH, "C:\\previous\\path.iso");
    click(dialog, IDC_BROWSE);
    HWND chooser = box_of_dialog();
    ASSERT_NE(chooser, nullptr) << "no open-file dialog";

    // The file name field (cmb13 on current systems, edt1 on older ones) starts empty.
    HWND name = GetDlgItem(chooser, cmb13);
    if (name == nullptr)
        name = GetDlgItem(chooser, edt1);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(window_text(name), "");
    // The file type list offers "ISO Images" first and has it chosen.
    HWND types = GetDlgItem(chooser, cmb1);
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(SendMessageA(types, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(combo_entry(chooser, cmb1, 0), "ISO Images");
    EXPECT_EQ(combo_entry(chooser, 0x470, 1), "All");
    EXPECT_EQ(combo_count(chooser, 0x470), 2);

    std::wstring wide_path(image.begin(), image.end());
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide_path.c_str()));
    answer(chooser, IDOK);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }, WAIT_MS));
    EXPECT_TRUE(wait_until([&] { return control_text(dialog, IDC_IMAGE_PATH) == image; }, WAIT_MS))
        << control_text(dialog, IDC_IMAGE_PATH);
}

TEST_F(MainDialog, CancelledBrowseLeavesThePath)
{
    set_control_text(dialog, IDC_IMAGE_PATH, "C:\\kept.iso");
    click(dialog, IDC_BROWSE);
    HWND chooser = box_of_dialog();
    ASSERT_NE(chooser, nullptr);
    answer(chooser, IDCANCEL);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }, WAIT_MS));
    EXPECT_EQ(control_text(dialog, IDC_IMAGE_PATH), "C:\\kept.iso");
}

TEST(Installer, ArgumentsChangeNothing)
{
    installer_session installer;
    ASSERT_TRUE(
        start_app(&installer.app, own_folder() + "kavel-setup.exe", "/q --format E: x.iso"));
    ASSERT_TRUE(installer.find_main());
    EXPECT_EQ(control_text(installer.main, IDC_IMAGE_PATH), "");
    EXPECT_TRUE(installer.leave());
}

} // namespace
