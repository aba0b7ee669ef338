// Whole runs on a Windows whose ANSI code page is not 936: ctest starts this
// program, and so the installers it starts, with an English locale. The
// Chinese texts still show, and an image in a folder that the code page
// cannot spell installs.
#include "install_run.h"

namespace {

// The ANSI code page of this process, which the installer inherits, lacks
// Chinese characters.
void expect_western_code_page()
{
    ASSERT_NE(GetACP(), 936u);
    BOOL lossy = FALSE;
    char probe[64];
    WideCharToMultiByte(CP_ACP, 0, L"\u5B89\u88C5", -1, probe, sizeof probe, nullptr, &lossy);
    ASSERT_TRUE(lossy) << "the code page spells Chinese after all";
}

TEST_F(InstallRun, OffCodePage936TheDialogsTheLogAndAFailureBoxShowTheChineseTexts)
{
    expect_western_code_page();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(installer.open(folder + "kavel-setup.exe"));
    EXPECT_EQ(window_text(main), text(IDS_MAIN_TITLE));
    for (auto [control, string] : {std::pair{IDC_IMAGE_ADVICE, IDS_IMAGE_ADVICE},
                                   {IDC_DRIVE_GROUP, IDS_DRIVE_GROUP},
                                   {IDC_FORMAT, IDS_FORMAT},
                                   {IDC_START, IDS_START}})
        EXPECT_EQ(control_text(main, control), text(string)) << control;

    const std::string missing = "C:\\no-such-image.iso";
    set_control_text(main, IDC_IMAGE_PATH, missing);
    click(main, IDC_START);
    HWND box = wait_dialog_titled(app.pi.dwProcessId, text(IDS_CAP_ERROR), WAIT_MS);
    ASSERT_NE(box, nullptr) << "no failure box";
    EXPECT_EQ(message_box_text(box), format_text(IDS_NOT_AN_IMAGE, missing.c_str()));
    answer(box);

    ASSERT_TRUE(installer.fill_in(images + "kavel-test.iso"));
    press_start(); // finds the progress dialog by its Chinese title
    EXPECT_EQ(finished_log(), full_run_log());
    EXPECT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_CLOSE));
}

TEST_F(InstallRun, AnImageInAFolderNamedInKoreanInstallsOffCodePage936)
{
    expect_western_code_page();
    ASSERT_FALSE(HasFatalFailure());
    // 이미지, "image": no letter of it is in the code page.
    std::wstring korean = widen(own_folder()) + L"\uC774\uBBF8\uC9C0";
    remove_tree_w(korean);
    ASSERT_TRUE(CreateDirectoryW(korean.c_str(), nullptr));
    std::wstring image = korean + L"\\kavel-test.iso";
    ASSERT_TRUE(CopyFileW(widen(images + "kavel-test.iso").c_str(), image.c_str(), FALSE));

    ASSERT_TRUE(installer.open(folder + "kavel-setup.exe"));
    ASSERT_TRUE(installer.fill_in(""));
    set_control_text(main, IDC_IMAGE_PATH, image);
    press_start();
    EXPECT_EQ(finished_log(), full_run_log());
    EXPECT_EQ(file_size("E:\\kavel\\vmlinuz"), 307200);
    EXPECT_EQ(read_file("E:\\syslinux.cfg"), read_file(kit + "syslinux.cfg"));
    stop_app(&app);
    remove_tree_when_free(korean);
}

} // namespace
