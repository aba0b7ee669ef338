// Whole installation runs through the real dialogs: the real 7-Zip on ISO
// images made by the build, stand-ins for chkdsk and syslinux (which Wine
// lacks) and, where a case needs what no real image gives, for 7z too.
// The target is E:, a removable drive of the test environment.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "installer_session.h"
#include "resources/resource_ids.h"

namespace {

// syslinux's UEFI loaders, as the kit's efi folder holds them.
const char* const UEFI_FILES[] = {"BOOTX64.EFI", "ldlinux.e64", "BOOTIA32.EFI", "ldlinux.e32"};

long long file_size(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Wide paths serve a folder whose name code page 936 cannot spell, too.
std::wstring widen(const std::string& ansi)
{
    wchar_t buf[2048] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, buf, 2048);
    return buf;
}

void remove_tree_w(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree_w(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void remove_tree(const std::string& folder)
{
    remove_tree_w(widen(folder));
}

// A listing of the shape current 7-Zip prints, for the stand-in 7z.
std::string current_listing(const std::vector<std::pair<long long, std::string>>& files)
{
    std::string out =
        "\r\n7-Zip (stand-in)\r\n\r\n   Date      Time    Attr         Size   Compressed  "
        "Name\r\n------------------- ----- ------------ ------------  "
        "------------------------\r\n";
    long long total = 0;
    char line[2048];
    for (const auto& f : files) {
        wsprintfA(line, "2026-12-08 01:42:31 ..... %12I64d %12I64d  %s\r\n", f.first, f.first,
                  f.second.c_str());
        out += line;
        total += f.first;
    }
    wsprintfA(line,
              "------------------- ----- ------------ ------------  ------------------------\r\n"
              "2026-12-08 01:42:31       %12I64d %12I64d  %d files\r\n",
              total, total, static_cast<int>(files.size()));
    return out + line;
}

struct InstallRun : ::testing::Test {
    std::string kit = own_folder() + "kit\\";
    std::string folder; // this case's installer folder
    std::string target = "E:\\";
    std::string images = own_folder() + "images\\";
    installer_session installer;
    app_process& app = installer.app;
    HWND& main = installer.main;
    HWND& progress = installer.progress;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = own_folder() + "case_" + info->name() + "\\";
        remove_tree(folder.substr(0, folder.size() - 1));
        copy_kit(widen(folder.substr(0, folder.size() - 1)));
        if (HasFatalFailure())
            return;
        remove_tree("E:\\kavel");
        remove_tree("E:\\EFI");
        SetFileAttributesA("E:\\EFI", FILE_ATTRIBUTE_NORMAL);
        DeleteFileA("E:\\EFI");
        SetFileAttributesA("E:\\syslinux.cfg", FILE_ATTRIBUTE_NORMAL);
        DeleteFileA("E:\\syslinux.cfg");
    }
    void TearDown() override
    {
        stop_app(&app);
        if (!HasFailure()) {
            // A program that just ended may hold its file a moment longer.
            std::string path = folder.substr(0, folder.size() - 1);
            wait_until(
                [&] {
                    remove_tree(path);
                    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
                },
                3000);
        }
    }

    // Makes the installer folder `to` from the kit. chkdsk is not in it: the
    // installer takes it from the system folder.
    void copy_kit(const std::wstring& to)
    {
        ASSERT_TRUE(CreateDirectoryW(to.c_str(), nullptr));
        for (const char* f :
             {"kavel-setup.exe", "7z.exe", "7z.dll", "syslinux.exe", "syslinux.cfg", "grldr"})
            ASSERT_TRUE(CopyFileW(widen(kit + f).c_str(), (to + L"\\" + widen(f)).c_str(), FALSE))
                << f;
        ASSERT_TRUE(CreateDirectoryW((to + L"\\efi").c_str(), nullptr));
        for (const char* f : UEFI_FILES)
            ASSERT_TRUE(CopyFileW(widen(kit + "efi\\" + f).c_str(),
                                  (to + L"\\efi\\" + widen(f)).c_str(), FALSE))
                << f;
    }
    void put(const char* name, const std::string& content) { write_file(folder + name, content); }
    void use_stand_in_7z(const std::string& listing, const std::string& sizes = "")
    {
        ASSERT_TRUE(
            CopyFileA((kit + "stand_in_7z.exe").c_str(), (folder + "7z.exe").c_str(), FALSE));
        put("7z.listing", listing);
        put("7z.sizes", sizes);
    }

    // Opens this case's installer (in `current`, when given), names the image
    // and the drive, and presses Start.
    void start(const std::string& image, bool format = false, char letter = 'E',
               const std::string& current = "")
    {
        open_main(image, format, letter, current);
        if (!HasFatalFailure())
            press_start();
    }
    void open_main(const std::string& image, bool format = false, char letter = 'E',
                   const std::string& current = "")
    {
        ASSERT_TRUE(installer.open(folder + "kavel-setup.exe", current));
        ASSERT_TRUE(installer.fill_in(image, letter, format)) << letter << ": is not offered";
    }
    void press_start() { ASSERT_TRUE(installer.press_start()) << "no progress dialog"; }
    std::string log() { return control_text(progress, IDC_LOG); }
    bool log_has(const std::string& part)
    {
        return wait_until([&] { return log().find(part) != std::string::npos; }, RUN_MS);
    }
    // Waits for the end of the run (the button reads Close) and gives the log.
    std::string finished_log(DWORD ms = RUN_MS)
    {
        EXPECT_TRUE(installer.run_ended(ms)) << "the run did not end: " << log();
        // The worker's last line follows end_run on a failure.
        wait_until(
            [&] {
                std::string l = log();
                return ends_with(l, text(IDS_INTERRUPTED)) || ends_with(l, text(IDS_SUCCEEDED));
            },
            WAIT_MS);
        return log();
    }
    int bar()
    {
        return static_cast<int>(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    }
    std::string image_checks()
    {
        return text(IDS_CHECKING_IMAGE) + text(IDS_DONE) + text(IDS_CHECKING_FILE_SYSTEM) +
               text(IDS_DONE) + text(IDS_CHECKING_SPACE) + text(IDS_DONE);
    }
    // The boot-loader lines of a run that went through, with the UEFI step's
    // outcome.
    std::string syslinux_lines(const std::string& uefi_outcome)
    {
        return format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_DONE) +
               format_text(IDS_COPYING_UEFI_LOADERS, 'E') + uefi_outcome +
               text(IDS_INSTALLING_BOOT_LOADER) + text(IDS_DONE);
    }
    std::string syslinux_lines() { return syslinux_lines(text(IDS_DONE)); }
    // Names of the files and folders under `path`, one a line, sorted.
    std::string tree(const std::string& path)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    names.push_back(name + "\\");
                    std::istringstream below(tree(path + "\\" + name));
                    for (std::string line; std::getline(below, line);)
                        names.push_back(name + "\\" + line);
                } else {
                    names.push_back(name);
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const auto& n : names)
            out += n + "\n";
        return out;
    }
    // The one child of the installer whose program is `exe`, opened to wait on
    // it; null when there is not exactly one within WAIT_MS.
    HANDLE only_child(const char* exe)
    {
        std::vector<DWORD> found;
        if (!wait_until(
                [&] {
                    found = children_named(&app, exe);
                    return found.size() == 1;
                },
                WAIT_MS))
            return nullptr;
        return OpenProcess(SYNCHRONIZE, FALSE, found[0]);
    }
    // Starts a run with `code` in the stand-in `program`'s code file, and
    // gives that child once the log holds `line`, opened to wait on it; null
    // when that does not happen.
    HANDLE start_until_child(const std::string& program, const char* code, const std::string& line)
    {
        put((program + ".code").c_str(), code);
        start(images + "kavel-test.iso");
        if (HasFatalFailure() || !log_has(line))
            return nullptr;
        return only_child((program + ".exe").c_str());
    }
    // Closes the progress dialog with its close box; true once it is gone.
    bool close_progress()
    {
        PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        return wait_until([&] { return !IsWindow(progress); }, WAIT_MS);
    }
    // Closes the progress dialog and presses Exit at once (both posted); the
    // installer must end with 0 and `child` before it (`why` says otherwise).
    void close_and_exit(HANDLE child, const char* why)
    {
        PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        click(main, IDC_EXIT);
        EXPECT_EQ(wait_exit(&app, WAIT_MS), 0u);
        EXPECT_EQ(WaitForSingleObject(child, 0), WAIT_OBJECT_0) << why;
        CloseHandle(child);
    }
    // Starts a run whose one file, slow.sfs of `size` bytes, grows slowly, and
    // gives its 7z once the file has begun, opened to wait on it; null when
    // that does not happen.
    HANDLE start_slow_extraction(long long size)
    {
        use_stand_in_7z(current_listing({{size, "slow.sfs"}}),
                        std::to_string(size) + " slow.sfs\n");
        put("7z.pace", "65536");
        start(images + "kavel-test.iso");
        if (HasFatalFailure() || !log_has(copy_line("slow.sfs")) ||
            !wait_until([&] { return file_size("E:\\kavel\\slow.sfs") > 0; }, WAIT_MS))
            return nullptr;
        return only_child("7z.exe");
    }
    // The failure box of `report_api_failure`, or null when the run ends
    // (the button reads Close) first.
    HWND failure_box_or_end()
    {
        HWND box = nullptr;
        wait_until(
            [&] {
                box = wait_dialog_titled(app.pi.dwProcessId, "Error", 0);
                return box != nullptr || control_text(progress, IDC_STOP_CLOSE) == text(IDS_CLOSE);
            },
            RUN_MS);
        return box;
    }
    // The whole log of a successful run of kavel-test.iso (7-Zip lists the
    // files in the image's order).
    std::string full_run_log()
    {
        std::string expected = image_checks();
        for (const char* name : {"base.sfs", "initrd.gz", "my apps.sfs", "vmlinuz"})
            expected += copy_line(name) + text(IDS_DONE);
        return expected + syslinux_lines() + text(IDS_SUCCEEDED);
    }
};

TEST_F(InstallRun, FullRunPutsEveryFileOnTheTargetAndMakesItBootable)
{
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), full_run_log());

    std::istringstream sizes(read_file(images + "kavel-test.sizes"));
    long long size;
    std::string name;
    int files = 0;
    while (sizes >> size && std::getline(sizes, name)) {
        EXPECT_EQ(file_size("E:\\kavel\\" + name.substr(1)), size) << name;
        ++files;
    }
    EXPECT_EQ(files, 4);
    EXPECT_EQ(file_size("E:\\kavel\\readme.txt"), -1);
    EXPECT_EQ(file_size("E:\\kavel\\deep.sfs"), -1);
    EXPECT_EQ(read_file("E:\\syslinux.cfg"), read_file(kit + "syslinux.cfg"));
    // The UEFI loaders, byte for byte, and nothing else under EFI.
    for (const char* f : UEFI_FILES) {
        std::string loader = read_file(kit + "efi\\" + f);
        EXPECT_GT(loader.size(), 100000u) << f;
        EXPECT_TRUE(read_file(std::string("E:\\EFI\\BOOT\\") + f) == loader) << f;
    }
    EXPECT_EQ(tree("E:\\EFI"), "BOOT\\\nBOOT\\BOOTIA32.EFI\nBOOT\\BOOTX64.EFI\nBOOT\\ldlinux.e32\n"
                               "BOOT\\ldlinux.e64\n");
    EXPECT_EQ(read_file(folder + "chkdsk.args"), "chkdsk E:\n");
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
    EXPECT_EQ(bar(), 100);
    EXPECT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_CLOSE));
    click(progress, IDC_STOP_CLOSE);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
    // Back in the main dialog, as it was.
    EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(main) != FALSE; }, WAIT_MS));
    EXPECT_EQ(control_text(main, IDC_IMAGE_PATH), images + "kavel-test.iso");
    EXPECT_EQ(combo_entry(main, IDC_DRIVE_LIST, combo_selection(main, IDC_DRIVE_LIST)).substr(0, 2),
              "E:");
}

TEST_F(InstallRun, LoadersAlreadyOnTheTargetAreReplaced)
{
    // A stick that was made bootable before: its folders stay, its loaders
    // are overwritten.
    ASSERT_TRUE(CreateDirectoryA("E:\\EFI", nullptr));
    ASSERT_TRUE(CreateDirectoryA("E:\\EFI\\BOOT", nullptr));
    write_file("E:\\EFI\\BOOT\\BOOTX64.EFI", "an older loader");
    write_file("E:\\EFI\\BOOT\\grubx64.efi", "another loader of the user's");
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_DONE) +
                                  syslinux_lines() + text(IDS_SUCCEEDED));
    for (const char* f : UEFI_FILES)
        EXPECT_TRUE(read_file(std::string("E:\\EFI\\BOOT\\") + f) == read_file(kit + "efi\\" + f))
            << f;
    EXPECT_EQ(read_file("E:\\EFI\\BOOT\\grubx64.efi"), "another loader of the user's");
}

TEST_F(InstallRun, WithoutTheEfiFolderTheDriveIsMadeForBiosOnly)
{
    remove_tree(folder + "efi");
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_DONE) +
                                  syslinux_lines(text(IDS_NO_UEFI_LOADERS)) + text(IDS_SUCCEEDED));
    EXPECT_EQ(GetFileAttributesA("E:\\EFI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
    EXPECT_EQ(bar(), 100);
}

TEST_F(InstallRun, OneLoaderFileMissingPutsNoneOnTheTarget)
{
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    for (const char* missing : UEFI_FILES) {
        SCOPED_TRACE(missing);
        std::string kept = folder + "efi\\" + missing + ".kept";
        ASSERT_TRUE(MoveFileA((folder + "efi\\" + missing).c_str(), kept.c_str()));
        DeleteFileA((folder + "syslinux.args").c_str());
        remove_tree("E:\\EFI");
        start(images + "kavel-test.iso");
        EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_DONE) +
                                      syslinux_lines(text(IDS_NO_UEFI_LOADERS)) +
                                      text(IDS_SUCCEEDED));
        EXPECT_EQ(GetFileAttributesA("E:\\EFI"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
        stop_app(&app);
        ASSERT_TRUE(MoveFileA(kept.c_str(), (folder + "efi\\" + missing).c_str()));
    }
}

TEST_F(InstallRun, ALoaderFolderThatCannotBeMadeIsAFailedCopy)
{
    // A plain file takes the place of the folder EFI.
    write_file("E:\\EFI", "not a folder");
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    start(images + "kavel-test.iso");
    char reason[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_ALREADY_EXISTS, 1024, reason, sizeof reason, nullptr);
    ASSERT_NE(reason[0], '\0');
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_DONE) +
                                  format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_DONE) +
                                  format_text(IDS_COPYING_UEFI_LOADERS, 'E') + text(IDS_FAILED) +
                                  reason + "\r\n" + text(IDS_INTERRUPTED));
    EXPECT_EQ(read_file("E:\\EFI"), "not a folder");
    EXPECT_EQ(read_file(folder + "syslinux.args"), "");
    EXPECT_EQ(bar(), 95);
}

TEST_F(InstallRun, FormatBoxTickedTriesTheShellFormatFirst)
{
    // Wine's SHFormatDrive answers that it cannot format.
    start(images + "kavel-test.iso", true);
    EXPECT_EQ(finished_log(),
              format_text(IDS_FORMATTING, 'E') + text(IDS_FAILED) + text(IDS_INTERRUPTED));
}

TEST_F(InstallRun, AFileThatIsNoImageFailsTheImageCheckWithTheListing)
{
    start(images + "not-an-image.iso");
    std::string l = finished_log();
    // 7-Zip refuses it with a nonzero code; its listing follows the outcome.
    ASSERT_EQ(l.rfind(text(IDS_CHECKING_IMAGE) + text(IDS_FAILED), 0), 0u) << l;
    EXPECT_NE(l.find("not-an-image.iso"), std::string::npos);
    EXPECT_TRUE(ends_with(l, text(IDS_INTERRUPTED))) << l;
    EXPECT_EQ(file_size("E:\\kavel"), -1);
}

TEST_F(InstallRun, AListingWithoutSummaryCannotBeRead)
{
    use_stand_in_7z("\r\n7-Zip (stand-in)\r\n\r\nnothing listed here\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) +
                                  "\r\n7-Zip (stand-in)\r\n\r\nnothing listed here\r\n" +
                                  text(IDS_INTERRUPTED));
}

TEST_F(InstallRun, ChkdskCodesAreJudgedAsTheTableSays)
{
    struct {
        const char* code;
        int outcome;
        bool goes_on;
    } cases[] = {{"1", 25, true}, {"2", 24, true}, {"3", 18, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        remove_tree("E:\\kavel");
        put("chkdsk.code", c.code);
        start(images + "kavel-test.iso");
        std::string l = finished_log();
        std::string head = text(IDS_CHECKING_IMAGE) + text(IDS_DONE) +
                           text(IDS_CHECKING_FILE_SYSTEM) + text(c.outcome) +
                           format_text(IDS_CHKDSK_ADVICE, 'E');
        EXPECT_EQ(l.rfind(head, 0), 0u) << l;
        if (c.goes_on)
            EXPECT_TRUE(ends_with(l, text(IDS_SUCCEEDED))) << l;
        else
            EXPECT_EQ(l, head + text(IDS_INTERRUPTED));
        stop_app(&app);
    }
}

TEST_F(InstallRun, NotEnoughSpaceNamesTheTotalInMiB)
{
    // 64 TiB and a byte: more than any test machine has free.
    long long total = (64LL << 40) + 1;
    use_stand_in_7z(current_listing({{total, "huge.sfs"}}));
    start(images + "kavel-test.iso");
    char need[64];
    wsprintfA(need, text(IDS_NOT_ENOUGH_SPACE).c_str(), static_cast<int>(total >> 20));
    EXPECT_EQ(finished_log(), text(IDS_CHECKING_IMAGE) + text(IDS_DONE) +
                                  text(IDS_CHECKING_FILE_SYSTEM) + text(IDS_DONE) +
                                  text(IDS_CHECKING_SPACE) + need + text(IDS_INTERRUPTED));
    EXPECT_EQ(file_size("E:\\kavel"), -1);
}

TEST_F(InstallRun, StopDuringAnExtractionEndsTheChildAndKeepsThePartialFile)
{
    HANDLE child = start_slow_extraction(50000000);
    ASSERT_NE(child, nullptr);

    DWORD pressed = GetTickCount();
    click(progress, IDC_STOP_CLOSE);
    EXPECT_EQ(WaitForSingleObject(child, 1500), WAIT_OBJECT_0) << "the extraction went on";
    DWORD ended = GetTickCount() - pressed;
    CloseHandle(child);
    std::string l = finished_log();
    EXPECT_EQ(l,
              image_checks() + copy_line("slow.sfs") + text(IDS_CANCELLED) + text(IDS_INTERRUPTED));
    long long partial = file_size("E:\\kavel\\slow.sfs");
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 50000000);
    // The dialog stays open until the button is pressed again.
    EXPECT_TRUE(IsWindow(progress));
    click(progress, IDC_STOP_CLOSE);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
    RecordProperty("child_end_ms", static_cast<int>(ended));
}

// Where control `id` of `dialog` stands, in the dialog's client pixels.
RECT client_rect_of(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(InstallRun, TheProgressDialogOpensWithItsTextsAndTheBarAtZero)
{
    put("chkdsk.code", "0 3000"); // holds the run while the dialog is looked at
    start(images + "kavel-test.iso");
    EXPECT_EQ(window_text(progress), text(IDS_PROGRESS_TITLE));
    // The button's text is the last thing set when the dialog opens.
    EXPECT_TRUE(wait_until([&] { return control_text(progress, IDC_STOP_CLOSE) == text(IDS_STOP); },
                           WAIT_MS));
    EXPECT_EQ(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(bar(), 0);
    // (Wine answers WM_GETFONT with 0 across processes, so the log's font is
    // seen on the screenshot of the dialog instead.)
    // The main dialog takes no input meanwhile.
    EXPECT_FALSE(IsWindowEnabled(main));
    // Escape does nothing, also in the log, which has the focus at first.
    EXPECT_EQ(focus_of(progress), GetDlgItem(progress, IDC_LOG));
    press_key(GetDlgItem(progress, IDC_LOG), VK_ESCAPE);
    Sleep(300);
    EXPECT_TRUE(IsWindow(progress));
    EXPECT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_STOP));
}

TEST_F(InstallRun, ResizingKeepsTheMarginsAndTheButtonsSize)
{
    put("chkdsk.code", "0 3000");
    start(images + "kavel-test.iso");
    RECT before = client_rect_of(progress, IDC_STOP_CLOSE);
    const int bw = before.right - before.left, bh = before.bottom - before.top;
    for (SIZE size : {SIZE{700, 520}, SIZE{420, 300}}) {
        SetWindowPos(progress, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(progress, &client);
        const int w = client.right, h = client.bottom;
        ASSERT_TRUE(wait_until(
            [&] { return client_rect_of(progress, IDC_STOP_CLOSE).left == w - bw - 6; }, WAIT_MS));
        RECT button = client_rect_of(progress, IDC_STOP_CLOSE);
        RECT log_box = client_rect_of(progress, IDC_LOG);
        RECT bar_box = client_rect_of(progress, IDC_PROGRESS);
        EXPECT_EQ(button.right - button.left, bw);
        EXPECT_EQ(button.bottom - button.top, bh);
        EXPECT_EQ(button.top, h - bh - 6);
        EXPECT_EQ(log_box.left, 6);
        EXPECT_EQ(log_box.top, 6);
        EXPECT_EQ(log_box.right, w - 6);
        EXPECT_EQ(log_box.bottom, h - bh - 12);
        EXPECT_EQ(bar_box.left, 6);
        EXPECT_EQ(bar_box.top, button.top + 1);
        EXPECT_EQ(bar_box.bottom, button.bottom - 1);
        EXPECT_EQ(bar_box.right, button.left - 6);
    }
}

TEST_F(InstallRun, StopWhileChkdskRunsEndsTheCheck)
{
    // The check only reads, so a stop ends it instead of waiting a minute.
    HANDLE check = start_until_child("chkdsk", "0 60000", text(IDS_CHECKING_FILE_SYSTEM));
    ASSERT_NE(check, nullptr);
    click(progress, IDC_STOP_CLOSE);
    EXPECT_EQ(WaitForSingleObject(check, 10000), WAIT_OBJECT_0) << "chkdsk runs on";
    CloseHandle(check);
    EXPECT_EQ(finished_log(WAIT_MS), text(IDS_CHECKING_IMAGE) + text(IDS_DONE) +
                                         text(IDS_CHECKING_FILE_SYSTEM) + text(IDS_CANCELLED) +
                                         text(IDS_INTERRUPTED));
}

TEST_F(InstallRun, WithoutSevenZipTheProcessEndsAfterTheCreateProcessBox)
{
    DeleteFileA((folder + "7z.exe").c_str());
    start(images + "kavel-test.iso");
    // Raised on the worker thread: a box without owner.
    HWND box = wait_dialog_titled(app.pi.dwProcessId, "Error", WAIT_MS);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(message_box_text(box).rfind("CreateProcess (2): ", 0), 0u) << message_box_text(box);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    answer(box);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 3u);
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
    HWND box = wait_dialog_titled(app.pi.dwProcessId, "Error", WAIT_MS);
    ASSERT_NE(box, nullptr) << "no failure box; the log: " << log();
    EXPECT_EQ(message_box_text(box).rfind("CreateProcess (2): ", 0), 0u) << message_box_text(box);
    answer(box);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 3u);
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
    HWND box = failure_box_or_end();
    ASSERT_NE(box, nullptr) << "no failure box; the log: " << log();
    EXPECT_EQ(message_box_text(box).rfind("CreateProcess (2): ", 0), 0u) << message_box_text(box);
    answer(box);
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 3u);
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
        wait_until(
            [&] {
                remove_tree_w(korean);
                return GetFileAttributesW(korean.c_str()) == INVALID_FILE_ATTRIBUTES;
            },
            3000);
}

TEST_F(InstallRun, SizesPastFourGiBAreCheckedAndCountedWhole)
{
    ULARGE_INTEGER free_bytes;
    ASSERT_TRUE(GetDiskFreeSpaceExA("E:\\", &free_bytes, nullptr, nullptr));
    const long long big = 4LL * 1024 * 1024 * 1024 + 4096; // wraps a 32-bit size
    if (free_bytes.QuadPart < static_cast<unsigned long long>(big) + (64 << 20))
        GTEST_SKIP() << "the test drive has less than 4 GiB free";
    // The stand-in writes it sparse: it takes no room.
    use_stand_in_7z(current_listing({{big, "big.sfs"}, {1000, "small.sfs"}}),
                    std::to_string(big) + " big.sfs\n1000 small.sfs\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    EXPECT_EQ(l, image_checks() + copy_line("big.sfs") + text(IDS_DONE) + copy_line("small.sfs") +
                     text(IDS_DONE) + syslinux_lines() + text(IDS_SUCCEEDED));
    EXPECT_EQ(file_size("E:\\kavel\\big.sfs"), big);
    remove_tree("E:\\kavel");
}

TEST_F(InstallRun, ASummaryWithoutFileLinesIsRefusedBeforeAnythingIsExtracted)
{
    // A folder only: the summary is there, but no file to take.
    std::string listing = current_listing({});
    listing.insert(listing.find("------------------- ----- ------------ ------------  -------------"
                                "-----------\r\n2026"),
                   "2026-12-08 01:42:31 D....            0            0  boot\r\n");
    use_stand_in_7z(listing);
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(),
              text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) + listing + text(IDS_INTERRUPTED));
    EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
}

TEST_F(InstallRun, UnsafeNamesInTheImageAreRefused)
{
    // The last two 7-Zip would read as a switch and as a list file.
    for (const char* name :
         {"..\\..\\boot.ini", "a\"b.sfs", "C:evil.sfs", "x/y.sfs", "-ai.sfs", "@list.sfs"}) {
        SCOPED_TRACE(name);
        std::string listing = current_listing({{10, "good.sfs"}, {10, name}});
        use_stand_in_7z(listing, "10 good.sfs\n");
        DeleteFileA((folder + "7z.args").c_str());
        start(images + "kavel-test.iso");
        EXPECT_EQ(finished_log(), text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) + listing +
                                      text(IDS_INTERRUPTED));
        EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
        stop_app(&app);
    }
}

TEST_F(InstallRun, EmptyFilesWithATotalOfZeroLeaveTheBarAndSucceed)
{
    use_stand_in_7z(current_listing({{0, "empty.sfs"}}), "0 empty.sfs\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    EXPECT_EQ(l, image_checks() + copy_line("empty.sfs") + text(IDS_DONE) + syslinux_lines() +
                     text(IDS_SUCCEEDED));
    EXPECT_EQ(file_size("E:\\kavel\\empty.sfs"), 0);
}

TEST_F(InstallRun, ACommandLineThatWouldNotFitIsNeverCut)
{
    std::string name = std::string(990, 'n') + ".sfs";
    use_stand_in_7z(current_listing({{10, name}}), "10 " + name + "\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    EXPECT_TRUE(ends_with(l, text(IDS_FAILED) + text(IDS_INTERRUPTED))) << l;
    EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
}

TEST_F(InstallRun, ExtractionChildFailingWithTheRightSizeGoesOn)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "1");
    put("7z.e-out", "some warning\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_FAILED) +
                                  "some warning\r\n" + text(IDS_DONE) + syslinux_lines() +
                                  text(IDS_SUCCEEDED));
}

TEST_F(InstallRun, AWrongSizeEndsTheRun)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}, {10, "b.sfs"}}), "4000 a.sfs\n10 b.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(),
              image_checks() + copy_line("a.sfs") + text(IDS_WRONG_SIZE) + text(IDS_INTERRUPTED));
    EXPECT_EQ(file_size("E:\\kavel\\b.sfs"), -1);
}

TEST_F(InstallRun, SyslinuxFailingShowsItsErrorTextOnly)
{
    put("syslinux.code", "1");
    put("syslinux.out", "said on standard output\r\n");
    put("syslinux.err", "said on standard error\r\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    std::string tail = format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_DONE) +
                       format_text(IDS_COPYING_UEFI_LOADERS, 'E') + text(IDS_DONE) +
                       text(IDS_INSTALLING_BOOT_LOADER) + text(IDS_FAILED) +
                       "said on standard error\r\n" + text(IDS_INTERRUPTED);
    EXPECT_TRUE(ends_with(l, tail)) << l;
    EXPECT_EQ(bar(), 95);
}

TEST_F(InstallRun, AMissingSyslinuxCfgIsAFailedCopyWithTheSystemsReason)
{
    DeleteFileA((folder + "syslinux.cfg").c_str());
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    char reason[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 1024, reason, sizeof reason, nullptr);
    std::string tail = format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_FAILED) + reason +
                       "\r\n" + text(IDS_INTERRUPTED);
    EXPECT_TRUE(ends_with(l, tail)) << l;
    EXPECT_EQ(read_file(folder + "syslinux.args"), "");
}

TEST_F(InstallRun, AFixedDiskTargetNeedsItsPartitionNamedWhichWineCannotDo)
{
    remove_tree("F:\\kavel");
    SetFileAttributesA("C:\\GRLDR", FILE_ATTRIBUTE_NORMAL);
    DeleteFileA("C:\\GRLDR");
    write_file("C:\\boot.ini", "[boot loader]\r\ntimeout=0\r\n");
    start(images + "kavel-test.iso", false, 'F');
    std::string l = finished_log();
    std::string tail = text(IDS_IDENTIFYING_PARTITION) + text(IDS_FAILED) + text(IDS_INTERRUPTED);
    EXPECT_TRUE(ends_with(l, tail)) << l;
    // The files are in place all the same, and nothing was written on C:.
    EXPECT_EQ(file_size("F:\\kavel\\vmlinuz"), 307200);
    EXPECT_EQ(GetFileAttributesA("C:\\GRLDR"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file("C:\\boot.ini"), "[boot loader]\r\ntimeout=0\r\n");
    remove_tree("F:\\kavel");
    SetFileAttributesA("C:\\boot.ini", FILE_ATTRIBUTE_NORMAL);
    DeleteFileA("C:\\boot.ini");
}

// Many small files: two log lines each, handed over as fast as the children
// come and go.
struct ManyFiles {
    std::string listing, sizes;
    std::vector<std::string> names;
};

ManyFiles many_files(int count)
{
    ManyFiles m;
    std::vector<std::pair<long long, std::string>> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        wsprintfA(name, "part%02d.sfs", i);
        files.push_back({1000 + i, name});
        m.names.push_back(name);
        m.sizes += std::to_string(1000 + i) + " " + name + "\n";
    }
    m.listing = current_listing(files);
    return m;
}

// Whether `l` is the log of a run stopped partway: a prefix of the whole
// run's log, then "cancelled" only right after a file's label, then (when
// `ended`; else at most) the interruption, once, at the end.
bool stopped_log_in_order(std::string l, const std::string& whole,
                          const std::vector<std::string>& names, bool ended)
{
    const std::string interrupted = text(IDS_INTERRUPTED);
    const std::string cancelled = text(IDS_CANCELLED);
    auto cut_tail = [&](const std::string& tail) {
        if (!ends_with(l, tail))
            return false;
        l.resize(l.size() - tail.size());
        return true;
    };
    if (!cut_tail(interrupted) && ended)
        return false;
    if (cut_tail(cancelled)) {
        // A stop ends an extraction, and also a running listing or chkdsk.
        bool after_label =
            ends_with(l, text(IDS_CHECKING_IMAGE)) || ends_with(l, text(IDS_CHECKING_FILE_SYSTEM));
        for (const std::string& name : names)
            after_label = after_label || ends_with(l, copy_line(name));
        if (!after_label)
            return false;
    }
    return starts_with(whole, l) && l.find(interrupted) == std::string::npos;
}

// Presses the button and returns once the dialog has handled the press (the
// test's click only posts it).
void press_now(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

TEST_F(InstallRun, ALongLogIsWholeAndInOrderWhenTheButtonReadsClose)
{
    ManyFiles m = many_files(40);
    use_stand_in_7z(m.listing, m.sizes);
    start(images + "kavel-test.iso");
    std::string expected = image_checks();
    for (const std::string& name : m.names)
        expected += copy_line(name) + text(IDS_DONE);
    expected += syslinux_lines() + text(IDS_SUCCEEDED);
    // Everything handed over before the end of the run is shown by the time
    // the button is relabelled, the bar's last move included.
    ASSERT_TRUE(installer.run_ended()) << log();
    std::string at_close = log();
    int bar_at_close = bar();
    EXPECT_EQ(at_close, expected);
    EXPECT_EQ(bar_at_close, 100);
    // And nothing follows.
    Sleep(300);
    EXPECT_EQ(log(), expected);
}

// Stop, or the close box, at random moments of runs with a long log. After
// Stop the log that the dialog shows at once is what the worker had handed
// over: a prefix of the whole run's log, in order; the worker then adds only
// its cancel and interruption lines. A closed dialog leaves nothing behind:
// the next run's log is its own, whole.
TEST_F(InstallRun, StoppedOrClosedAtAnyMomentTheLogStaysWholeAndInOrder)
{
    ManyFiles m = many_files(30);
    use_stand_in_7z(m.listing, m.sizes);
    std::string whole = image_checks();
    for (const std::string& name : m.names)
        whole += copy_line(name) + text(IDS_DONE);
    whole += syslinux_lines() + text(IDS_SUCCEEDED);

    start(images + "kavel-test.iso");
    DWORD began = GetTickCount();
    ASSERT_EQ(finished_log(), whole);
    // The moments are drawn from the first half of a whole run on this
    // machine, so that the run has seldom ended by itself when they come.
    const DWORD run_ms = (GetTickCount() - began) / 2 + 1;
    const unsigned seed = GetTickCount();
    RecordProperty("seed", static_cast<int>(seed));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 draw(seed);
    std::uniform_int_distribution<DWORD> moment(0, run_ms);

    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_CLOSE));
        press_now(progress, IDC_STOP_CLOSE); // Close: back to the main dialog
        ASSERT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
        remove_tree("E:\\kavel");
        click(main, IDC_START);
        progress = wait_dialog_titled(app.pi.dwProcessId, text(IDS_PROGRESS_TITLE), WAIT_MS);
        ASSERT_NE(progress, nullptr);
        DWORD at = moment(draw);
        Sleep(at);
        if (round % 2 == 0) {
            // Stop: the dialog stays, and its log can be read.
            if (control_text(progress, IDC_STOP_CLOSE) != text(IDS_STOP)) {
                EXPECT_EQ(finished_log(), whole); // ended by itself first
                continue;
            }
            press_now(progress, IDC_STOP_CLOSE);
            std::string shown = log();
            // The worker may add its last lines any moment after the press.
            EXPECT_TRUE(stopped_log_in_order(shown, whole, m.names, false))
                << "at " << at << " ms: " << shown;
            std::string l = finished_log();
            ASSERT_TRUE(starts_with(l, shown)) << l;
            if (l != whole) { // unless the run had ended by itself
                EXPECT_TRUE(stopped_log_in_order(l, whole, m.names, true))
                    << "at " << at << " ms: " << l;
            }
        } else {
            // The close box, then a new run at once: its log is its own and whole.
            ASSERT_TRUE(close_progress());
            // The closed run's worker ends at its next check.
            remove_tree("E:\\kavel");
            click(main, IDC_START);
            progress = wait_dialog_titled(app.pi.dwProcessId, text(IDS_PROGRESS_TITLE), WAIT_MS);
            ASSERT_NE(progress, nullptr);
            // It may first wait, visibly, for the closed run's worker.
            std::string l = finished_log();
            EXPECT_TRUE(l == whole ||
                        l == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + whole)
                << "closed at " << at << " ms: " << l;
        }
    }
}

TEST_F(InstallRun, ClosingMidRunAndStartingAgainNeverMixesTwoRuns)
{
    use_stand_in_7z(current_listing({{500000000, "slow.sfs"}}), "500000000 slow.sfs\n");
    put("7z.pace", "65536");
    start(images + "kavel-test.iso");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(log_has(copy_line("slow.sfs")));
        std::vector<DWORD> children;
        ASSERT_TRUE(wait_until(
            [&] {
                children = children_named(&app, "7z.exe");
                return children.size() == 1;
            },
            WAIT_MS));
        HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, children[0]);
        // Close the dialog and press Start at once.
        ASSERT_TRUE(close_progress());
        click(main, IDC_START);
        progress = wait_dialog_titled(app.pi.dwProcessId, text(IDS_PROGRESS_TITLE), WAIT_MS);
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(WaitForSingleObject(child, 5000), WAIT_OBJECT_0) << "the old child runs on";
        CloseHandle(child);
        // The new run's log holds its own lines only, up to its own extraction,
        // after the wait line when the old worker had not ended yet.
        ASSERT_TRUE(log_has(copy_line("slow.sfs")));
        std::string own = image_checks() + copy_line("slow.sfs");
        std::string l = log();
        EXPECT_TRUE(l == own || l == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + own)
            << l;
        EXPECT_LE(children_named(&app, "7z.exe").size(), 1u);
    }
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Every file in the root of C:, with its attributes, size and bytes.
std::string root_of_c()
{
    std::string all;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return all;
    do {
        std::string name = found.cFileName;
        char line[512];
        wsprintfA(line, "%s %lx %lu\n", found.cFileName, found.dwFileAttributes,
                  found.nFileSizeLow);
        all += line;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            all += read_file("C:\\" + name) + "\n";
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return all;
}

TEST_F(InstallRun, AFixedDiskTargetWithoutBootIniIsRefusedBeforeAnythingChanges)
{
    SetFileAttributesA("C:\\boot.ini", FILE_ATTRIBUTE_NORMAL);
    DeleteFileA("C:\\boot.ini");
    remove_tree("F:\\kavel");
    open_main(images + "kavel-test.iso", false, 'F');
    ASSERT_FALSE(HasFatalFailure());
    // After the main dialog has written its drive log.
    std::string before = root_of_c();
    ASSERT_NE(before.find("tovkast_drive.log"), std::string::npos) << before;
    press_start();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(finished_log(WAIT_MS), text(IDS_NO_BOOT_INI) + text(IDS_INTERRUPTED));
    EXPECT_EQ(root_of_c(), before);
    EXPECT_EQ(GetFileAttributesA("F:\\kavel"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file(folder + "chkdsk.args"), "");
}

TEST_F(InstallRun, AnExtractionChildEndingWithCode259IsJudgedAsFailedOnce)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "259");
    put("7z.e-out", "ended with 259\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(30000), image_checks() + copy_line("a.sfs") + text(IDS_FAILED) +
                                       "ended with 259\r\n" + text(IDS_DONE) + syslinux_lines() +
                                       text(IDS_SUCCEEDED));
    std::string args = read_file(folder + "7z.args");
    EXPECT_EQ(args.find(" e -y "), args.rfind(" e -y ")) << args;
}

// Text of `size` bytes in lines ending in CR LF, each line numbered.
std::string numbered_lines(std::size_t size, const char* what)
{
    std::string out;
    char line[80];
    for (int i = 0; out.size() < size; ++i) {
        wsprintfA(line, "%s line %06d: abcdefghijklmnopqrstuvwxyz0123456789\r\n", what, i);
        out += line;
    }
    out.resize(size - 2);
    return out + "\r\n";
}

TEST_F(InstallRun, AnExtractionChildPrintingAMebibyteNeverBlocksTheRun)
{
    // Far more than a pipe holds, printed during one extraction.
    const std::string said = numbered_lines(1 << 20, "7z said");
    use_stand_in_7z(current_listing({{4096, "a.sfs"}, {10, "b.sfs"}}), "4096 a.sfs\n10 b.sfs\n");
    put("7z.e-out", said);
    start(images + "kavel-test.iso");
    const std::string files =
        copy_line("a.sfs") + text(IDS_DONE) + copy_line("b.sfs") + text(IDS_DONE);
    EXPECT_EQ(finished_log(60000), image_checks() + files + syslinux_lines() + text(IDS_SUCCEEDED));
    stop_app(&app);

    // Failing, the child's whole text is shown.
    remove_tree("E:\\kavel");
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "1");
    start(images + "kavel-test.iso");
    std::string l = finished_log(60000);
    std::string expected = image_checks() + copy_line("a.sfs") + text(IDS_FAILED) + said +
                           text(IDS_DONE) + syslinux_lines() + text(IDS_SUCCEEDED);
    EXPECT_EQ(l.size(), expected.size());
    EXPECT_TRUE(l == expected) << "the log differs from what the child printed";
}

TEST_F(InstallRun, ALongListingIsShownWholeBeforeTheInterruption)
{
    // 100 KiB without a summary: far past an edit control's first limit.
    const std::string listing = numbered_lines(100 << 10, "no summary");
    use_stand_in_7z(listing);
    start(images + "kavel-test.iso");
    std::string l = finished_log(WAIT_MS);
    std::string expected =
        text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) + listing + text(IDS_INTERRUPTED);
    EXPECT_EQ(l.size(), expected.size());
    EXPECT_TRUE(l == expected) << "the log lost text";
}

TEST_F(InstallRun, ClosingDuringChkdskEndsItAndTheNextRunDoesNotWaitSilently)
{
    HANDLE old_check = start_until_child("chkdsk", "0 60000", text(IDS_CHECKING_FILE_SYSTEM));
    ASSERT_NE(old_check, nullptr);
    ASSERT_TRUE(close_progress());
    press_start();
    ASSERT_FALSE(HasFatalFailure());
    // Within a second the new log says what the run does: it waits for the
    // previous one, or (when that one has already ended) it checks the image.
    std::string first;
    EXPECT_TRUE(wait_until(
        [&] {
            first = log();
            return first.rfind(text(IDS_WAITING_FOR_PREVIOUS_RUN), 0) == 0 ||
                   first.rfind(text(IDS_CHECKING_IMAGE), 0) == 0;
        },
        1000))
        << "the new log says nothing: \"" << first << "\"";
    EXPECT_EQ(WaitForSingleObject(old_check, 1000), WAIT_OBJECT_0) << "the old chkdsk runs on";
    CloseHandle(old_check);
    // The new run goes on to its own check.
    ASSERT_TRUE(log_has(text(IDS_CHECKING_FILE_SYSTEM)));
    std::string l = log();
    std::string own = text(IDS_CHECKING_IMAGE) + text(IDS_DONE) + text(IDS_CHECKING_FILE_SYSTEM);
    EXPECT_TRUE(l == own || l == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + own) << l;
    // Closing this run ends its check too.
    HANDLE new_check = only_child("chkdsk.exe");
    ASSERT_NE(new_check, nullptr);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForSingleObject(new_check, 5000), WAIT_OBJECT_0);
    CloseHandle(new_check);
}

TEST_F(InstallRun, ANewRunWaitsVisiblyForAWorkerInSyslinuxAndStopWorksMeanwhile)
{
    // syslinux writes: closing its run lets it finish.
    HANDLE loader = start_until_child("syslinux", "0 6000", text(IDS_INSTALLING_BOOT_LOADER));
    ASSERT_NE(loader, nullptr);
    ASSERT_TRUE(close_progress());

    // Second run: it says at once that it waits, and Stop ends it.
    press_start();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(wait_until([&] { return log() == text(IDS_WAITING_FOR_PREVIOUS_RUN); }, 1000))
        << log();
    click(progress, IDC_STOP_CLOSE);
    EXPECT_TRUE(installer.run_ended(1000));
    EXPECT_TRUE(wait_until(
        [&] { return log() == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_INTERRUPTED); }, 1000))
        << log();
    EXPECT_EQ(WaitForSingleObject(loader, 0), WAIT_TIMEOUT) << "syslinux was ended";
    click(progress, IDC_STOP_CLOSE);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));

    // Third run: it waits for both before it, then runs whole.
    put("syslinux.code", "0");
    press_start();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(wait_until([&] { return log() == text(IDS_WAITING_FOR_PREVIOUS_RUN); }, 1000))
        << log();
    EXPECT_EQ(WaitForSingleObject(loader, WAIT_MS), WAIT_OBJECT_0);
    CloseHandle(loader);
    EXPECT_EQ(finished_log(), text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + full_run_log());
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\nsyslinux -f E:\n");
}

TEST_F(InstallRun, ExitRightAfterClosingAnExtractionLeavesNoChildWriting)
{
    HANDLE child = start_slow_extraction(500000000);
    ASSERT_NE(child, nullptr);
    // Both posted: Exit is handled as soon as the progress dialog is gone,
    // before the abandoned worker's next look at its run.
    close_and_exit(child, "7z outlived the installer");
    long long size = file_size("E:\\kavel\\slow.sfs");
    Sleep(600);
    EXPECT_EQ(file_size("E:\\kavel\\slow.sfs"), size) << "the file still grows";
    EXPECT_LT(size, 500000000);
}

TEST_F(InstallRun, ExitDuringTheBootLoaderStepWaitsForTheWorkerToFinishIt)
{
    // syslinux writes the boot sector: the run is let finish it before the
    // installer ends.
    HANDLE loader = start_until_child("syslinux", "0 3000", text(IDS_INSTALLING_BOOT_LOADER));
    ASSERT_NE(loader, nullptr);
    close_and_exit(loader, "the installer ended first");
}

} // namespace
