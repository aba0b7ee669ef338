// Where the installer takes its programs from: never the current folder or
// the PATH, a failure box when one is missing, and an installer folder whose
// name the code page cannot spell.

#include "install_run.h"

namespace {

TEST_F(InstallRun, WithoutSevenZipTheProcessEndsAfterTheCreateProcessBox)
{
    DeleteFileA((folder + "7z.exe").c_str());
    start(images + "kavel-test.iso");
    // Raised on the worker thread: a box without owner.
    HWND box = wait_dialog_titled(app.pi.dwProcessId, "Error", WAIT_MS);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    expect_create_process_box(box);
}

// A Downloads-like folder holding the image and programs someone planted
// beside it, under the names of the programs the installer starts.
std::string planted_folder(const std::string& case_folder, const std::string& kit,
                           const std::string& image)
{
    std::string downloads = case_folder + "downloads\\";
    CreateDirectoryA(downloads.c_str(), nullptr);
    CopyFileA(image.c_str(), (downloads + "kavel-test.iso").c_str(), FALSE);
    for (const char* name : {"chkdsk.exe", "7z.exe", "syslinux.exe"})
        CopyFileA((kit + "planted_program.exe").c_str(), (downloads + name).c_str(), FALSE);
    return downloads;
}

TEST_F(InstallRun, ProgramsPlantedInTheCurrentFolderNeverRun)
{
    // On Windows, Browse makes the image's folder current; Wine's open-file
    // dialog leaves the current folder alone, so the installer starts there.
    std::string downloads = planted_folder(folder, kit, images + "kavel-test.iso");
    start(downloads + "kavel-test.iso", false, 'E', downloads);
    EXPECT_EQ(finished_log(), full_run_log());
    EXPECT_EQ(read_file(downloads + "planted.log"), "");
    // chkdsk ran all the same: the one in the system folder.
    EXPECT_EQ(read_file(folder + "chkdsk.args"), "chkdsk E:\n");
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
}

TEST_F(InstallRun, AMissingSevenZipIsNotTakenFromTheCurrentFolder)
{
    std::string downloads = planted_folder(folder, kit, images + "kavel-test.iso");
    DeleteFileA((folder + "7z.exe").c_str());
    start(downloads + "kavel-test.iso", false, 'E', downloads);
    expect_create_process_box(wait_dialog_titled(app.pi.dwProcessId, "Error", WAIT_MS));
    EXPECT_EQ(read_file(downloads + "planted.log"), "");
}

TEST_F(InstallRun, AMissingSyslinuxIsNotTakenFromThePath)
{
    std::string downloads = planted_folder(folder, kit, images + "kavel-test.iso");
    DeleteFileA((folder + "syslinux.exe").c_str());
    // The planted folder first on the PATH the installer inherits.
    char old_path[32768] = "";
    GetEnvironmentVariableA("PATH", old_path, sizeof old_path);
    SetEnvironmentVariableA("PATH", (downloads + ";" + old_path).c_str());
    bool started = start_app(&app, folder + "kavel-setup.exe");
    SetEnvironmentVariableA("PATH", old_path);
    ASSERT_TRUE(started);
    ASSERT_TRUE(installer.find_main());
    ASSERT_TRUE(installer.fill_in(images + "kavel-test.iso"));
    press_start();
    expect_create_process_box(failure_box_or_end());
    EXPECT_EQ(read_file(downloads + "planted.log"), "");
}

// A file of a folder whose name code page 936 cannot spell.
std::string read_file_w(const std::wstring& path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(file, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    CloseHandle(file);
    return text;
}

TEST_F(InstallRun, AnInstallerFolderTheCodePageCannotSpellWorksToTheEnd)
{
    // Korean letters (설치, "install") on a system whose ANSI code page is 936.
    std::wstring korean = widen(own_folder()) + L"case_\uC124\uCE58";
    remove_tree_w(korean);
    ASSERT_EQ(GetACP(), 936u);
    BOOL lossy = FALSE;
    char probe[64];
    WideCharToMultiByte(CP_ACP, 0, L"\uC124\uCE58", -1, probe, sizeof probe, nullptr, &lossy);
    ASSERT_TRUE(lossy) << "the code page spells the folder's name after all";
    // The UEFI loaders, too, are found beside an installer in such a folder.
    copy_kit(korean);
    ASSERT_FALSE(HasFatalFailure());

    std::wstring exe = korean + L"\\kavel-setup.exe";
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    ASSERT_TRUE(CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               korean.c_str(), &si, &app.pi));
    app.started = true;
    WaitForInputIdle(app.pi.hProcess, 10000);
    ASSERT_TRUE(installer.find_main());
    ASSERT_TRUE(installer.fill_in(images + "kavel-test.iso"));
    press_start();
    // A folder that cannot be found shows a failure box and ends the process
    // with code 3 after it.
    HWND box = failure_box_or_end();
    if (box != nullptr) {
        std::string what = message_box_text(box);
        answer(box);
        FAIL() << "failure box \"" << what << "\", exit code " << wait_exit(&app, WAIT_MS)
               << ", log: " << log();
    }
    EXPECT_EQ(finished_log(), full_run_log());
    EXPECT_EQ(wait_exit(&app, 500), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(read_file("E:\\syslinux.cfg"), read_file(kit + "syslinux.cfg"));
    EXPECT_EQ(read_file_w(korean + L"\\syslinux.args"), "syslinux -f E:\n");
    EXPECT_EQ(read_file_w(korean + L"\\chkdsk.args"), "chkdsk E:\n");
    stop_app(&app);
    if (!HasFailure())
        remove_tree_when_free(korean);
}

} // namespace
