// Whole installation runs through the real dialogs: the real 7-Zip on ISO
// images made by the build, stand-ins for chkdsk and syslinux (which Wine
// lacks) and, where a case needs what no real image gives, for 7z too.
// The target is E:, a removable drive of the test environment.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdarg>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "ui_driver.h"

namespace {

constexpr DWORD WAIT_MS = 20000;
constexpr DWORD RUN_MS = 90000;

// syslinux's UEFI loaders, as the kit's efi folder holds them.
const char* const UEFI_FILES[] = {"BOOTX64.EFI", "ldlinux.e64", "BOOTIA32.EFI", "ldlinux.e32"};

std::string text(int id)
{
    return cp936(expected_text(id));
}

std::string format_text(int id, ...)
{
    char buf[2048];
    va_list args;
    va_start(args, id);
    wvsprintfA(buf, text(id).c_str(), args);
    va_end(args);
    return buf;
}

long long file_size(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void remove_tree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
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
    app_process app;
    HWND main = nullptr;
    HWND progress = nullptr;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = own_folder() + "case_" + info->name() + "\\";
        remove_tree(folder.substr(0, folder.size() - 1));
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        for (const char* f : {"kavel-setup.exe", "7z.exe", "7z.dll", "chkdsk.exe", "syslinux.exe",
                              "syslinux.cfg", "grldr"})
            ASSERT_TRUE(CopyFileA((kit + f).c_str(), (folder + f).c_str(), FALSE)) << f;
        ASSERT_TRUE(CreateDirectoryA((folder + "efi").c_str(), nullptr));
        for (const char* f : UEFI_FILES)
            ASSERT_TRUE(
                CopyFileA((kit + "efi\\" + f).c_str(), (folder + "efi\\" + f).c_str(), FALSE))
                << f;
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

    void put(const char* name, const std::string& content) { write_file(folder + name, content); }
    void use_stand_in_7z(const std::string& listing, const std::string& sizes = "")
    {
        ASSERT_TRUE(
            CopyFileA((kit + "stand_in_7z.exe").c_str(), (folder + "7z.exe").c_str(), FALSE));
        put("7z.listing", listing);
        put("7z.sizes", sizes);
    }

    // Opens the installer, names the image and the drive, and presses Start.
    void start(const std::string& image, bool format = false, char letter = 'E')
    {
        ASSERT_TRUE(start_app(&app, folder + "kavel-setup.exe"));
        main = wait_dialog_titled(app.pi.dwProcessId, text(1), WAIT_MS);
        ASSERT_NE(main, nullptr);
        set_control_text(main, 1004, image);
        int entry = -1;
        const std::string drive = std::string(1, letter) + ":";
        for (int i = 0; i < combo_count(main, 1006); ++i)
            if (combo_entry(main, 1006, i).rfind(drive, 0) == 0)
                entry = i;
        ASSERT_GE(entry, 0) << "drive " << drive << " is not offered";
        select_combo(main, 1006, entry);
        if (format)
            SendDlgItemMessageA(main, 1008, BM_SETCHECK, BST_CHECKED, 0);
        click(main, 1009);
        progress = wait_dialog_titled(app.pi.dwProcessId, text(14), WAIT_MS);
        ASSERT_NE(progress, nullptr) << "no progress dialog";
    }
    std::string log() { return control_text(progress, 1001); }
    bool log_has(const std::string& part)
    {
        return wait_until([&] { return log().find(part) != std::string::npos; }, RUN_MS);
    }
    // Waits for the end of the run (the button reads Close) and gives the log.
    std::string finished_log()
    {
        EXPECT_TRUE(wait_until([&] { return control_text(progress, 1003) == text(16); }, RUN_MS))
            << "the run did not end: " << log();
        // The worker's last line follows end_run on a failure.
        wait_until(
            [&] {
                std::string l = log();
                return l.size() >= text(38).size() &&
                       (l.compare(l.size() - text(38).size(), std::string::npos, text(38)) == 0 ||
                        l.compare(l.size() - text(37).size(), std::string::npos, text(37)) == 0);
            },
            WAIT_MS);
        return log();
    }
    int bar() { return static_cast<int>(SendDlgItemMessageA(progress, 1002, PBM_GETPOS, 0, 0)); }
    std::string image_checks()
    {
        return text(21) + text(20) + text(23) + text(20) + text(27) + text(20);
    }
    std::string copy_line(const std::string& name)
    {
        return format_text(29, 'E', "kavel\\", name.c_str());
    }
    // The boot-loader lines of a run that went through, with the UEFI step's
    // outcome.
    std::string syslinux_lines(const std::string& uefi_outcome)
    {
        return format_text(31, 'E') + text(20) + format_text(41, 'E') + uefi_outcome + text(32) +
               text(20);
    }
    std::string syslinux_lines() { return syslinux_lines(text(20)); }
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
};

TEST_F(InstallRun, FullRunPutsEveryFileOnTheTargetAndMakesItBootable)
{
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    // 7-Zip lists the files in the image's order.
    std::string expected = image_checks();
    for (const char* name : {"base.sfs", "initrd.gz", "my apps.sfs", "vmlinuz"})
        expected += copy_line(name) + text(20);
    expected += syslinux_lines() + text(37);
    EXPECT_EQ(l, expected);

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
    EXPECT_EQ(control_text(progress, 1003), text(16));
    click(progress, 1003);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
    // Back in the main dialog, as it was.
    EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(main) != FALSE; }, WAIT_MS));
    EXPECT_EQ(control_text(main, 1004), images + "kavel-test.iso");
    EXPECT_EQ(combo_entry(main, 1006, combo_selection(main, 1006)).substr(0, 2), "E:");
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
    EXPECT_EQ(finished_log(),
              image_checks() + copy_line("a.sfs") + text(20) + syslinux_lines() + text(37));
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
    EXPECT_EQ(finished_log(),
              image_checks() + copy_line("a.sfs") + text(20) + syslinux_lines(text(42)) + text(37));
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
        EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(20) +
                                      syslinux_lines(text(42)) + text(37));
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
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(20) +
                                  format_text(31, 'E') + text(20) + format_text(41, 'E') +
                                  text(18) + reason + "\r\n" + text(38));
    EXPECT_EQ(read_file("E:\\EFI"), "not a folder");
    EXPECT_EQ(read_file(folder + "syslinux.args"), "");
    EXPECT_EQ(bar(), 95);
}

TEST_F(InstallRun, FormatBoxTickedTriesTheShellFormatFirst)
{
    // Wine's SHFormatDrive answers that it cannot format.
    start(images + "kavel-test.iso", true);
    EXPECT_EQ(finished_log(), format_text(17, 'E') + text(18) + text(38));
}

TEST_F(InstallRun, AFileThatIsNoImageFailsTheImageCheckWithTheListing)
{
    start(images + "not-an-image.iso");
    std::string l = finished_log();
    // 7-Zip refuses it with a nonzero code; its listing follows the outcome.
    ASSERT_EQ(l.rfind(text(21) + text(18), 0), 0u) << l;
    EXPECT_NE(l.find("not-an-image.iso"), std::string::npos);
    EXPECT_EQ(l.substr(l.size() - text(38).size()), text(38));
    EXPECT_EQ(file_size("E:\\kavel"), -1);
}

TEST_F(InstallRun, AListingWithoutSummaryCannotBeRead)
{
    use_stand_in_7z("\r\n7-Zip (stand-in)\r\n\r\nnothing listed here\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), text(21) + text(22) +
                                  "\r\n7-Zip (stand-in)\r\n\r\nnothing listed here\r\n" + text(38));
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
        std::string head = text(21) + text(20) + text(23) + text(c.outcome) + format_text(26, 'E');
        EXPECT_EQ(l.rfind(head, 0), 0u) << l;
        if (c.goes_on)
            EXPECT_EQ(l.substr(l.size() - text(37).size()), text(37));
        else
            EXPECT_EQ(l, head + text(38));
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
    wsprintfA(need, text(28).c_str(), static_cast<int>(total >> 20));
    EXPECT_EQ(finished_log(),
              text(21) + text(20) + text(23) + text(20) + text(27) + need + text(38));
    EXPECT_EQ(file_size("E:\\kavel"), -1);
}

TEST_F(InstallRun, StopDuringAnExtractionEndsTheChildAndKeepsThePartialFile)
{
    use_stand_in_7z(current_listing({{50000000, "slow.sfs"}}), "50000000 slow.sfs\n");
    put("7z.pace", "65536");
    start(images + "kavel-test.iso");
    ASSERT_TRUE(log_has(copy_line("slow.sfs")));
    ASSERT_TRUE(wait_until([&] { return file_size("E:\\kavel\\slow.sfs") > 0; }, WAIT_MS));
    std::vector<DWORD> children = children_named(&app, "7z.exe");
    ASSERT_EQ(children.size(), 1u);
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, children[0]);
    ASSERT_NE(child, nullptr);

    DWORD pressed = GetTickCount();
    click(progress, 1003);
    EXPECT_EQ(WaitForSingleObject(child, 1500), WAIT_OBJECT_0) << "the extraction went on";
    DWORD ended = GetTickCount() - pressed;
    CloseHandle(child);
    std::string l = finished_log();
    EXPECT_EQ(l, image_checks() + copy_line("slow.sfs") + text(19) + text(38));
    long long partial = file_size("E:\\kavel\\slow.sfs");
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 50000000);
    // The dialog stays open until the button is pressed again.
    EXPECT_TRUE(IsWindow(progress));
    click(progress, 1003);
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
    EXPECT_EQ(window_text(progress), text(14));
    // The button's text is the last thing set when the dialog opens.
    EXPECT_TRUE(wait_until([&] { return control_text(progress, 1003) == text(15); }, WAIT_MS));
    EXPECT_EQ(SendDlgItemMessageA(progress, 1002, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(progress, 1002, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(bar(), 0);
    // (Wine answers WM_GETFONT with 0 across processes, so the log's font is
    // seen on the screenshot of the dialog instead.)
    // The main dialog takes no input meanwhile.
    EXPECT_FALSE(IsWindowEnabled(main));
    // Escape does nothing, also in the log, which has the focus at first.
    EXPECT_EQ(focus_of(progress), GetDlgItem(progress, 1001));
    press_key(GetDlgItem(progress, 1001), VK_ESCAPE);
    Sleep(300);
    EXPECT_TRUE(IsWindow(progress));
    EXPECT_EQ(control_text(progress, 1003), text(15));
}

TEST_F(InstallRun, ResizingKeepsTheMarginsAndTheButtonsSize)
{
    put("chkdsk.code", "0 3000");
    start(images + "kavel-test.iso");
    RECT before = client_rect_of(progress, 1003);
    const int bw = before.right - before.left, bh = before.bottom - before.top;
    for (SIZE size : {SIZE{700, 520}, SIZE{420, 300}}) {
        SetWindowPos(progress, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(progress, &client);
        const int w = client.right, h = client.bottom;
        ASSERT_TRUE(
            wait_until([&] { return client_rect_of(progress, 1003).left == w - bw - 6; }, WAIT_MS));
        RECT button = client_rect_of(progress, 1003);
        RECT log_box = client_rect_of(progress, 1001);
        RECT bar_box = client_rect_of(progress, 1002);
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

TEST_F(InstallRun, StopWhileChkdskRunsTakesEffectAfterIt)
{
    put("chkdsk.code", "0 1500");
    start(images + "kavel-test.iso");
    ASSERT_TRUE(log_has(text(23)));
    click(progress, 1003);
    EXPECT_TRUE(wait_until([&] { return control_text(progress, 1003) == text(16); }, WAIT_MS));
    EXPECT_EQ(finished_log(), text(21) + text(20) + text(23) + text(20) + text(38));
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
    EXPECT_EQ(l, image_checks() + copy_line("big.sfs") + text(20) + copy_line("small.sfs") +
                     text(20) + syslinux_lines() + text(37));
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
    EXPECT_EQ(finished_log(), text(21) + text(22) + listing + text(38));
    EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
}

TEST_F(InstallRun, UnsafeNamesInTheImageAreRefused)
{
    for (const char* name : {"..\\..\\boot.ini", "a\"b.sfs", "C:evil.sfs", "x/y.sfs"}) {
        SCOPED_TRACE(name);
        std::string listing = current_listing({{10, "good.sfs"}, {10, name}});
        use_stand_in_7z(listing, "10 good.sfs\n");
        DeleteFileA((folder + "7z.args").c_str());
        start(images + "kavel-test.iso");
        EXPECT_EQ(finished_log(), text(21) + text(22) + listing + text(38));
        EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
        stop_app(&app);
    }
}

TEST_F(InstallRun, EmptyFilesWithATotalOfZeroLeaveTheBarAndSucceed)
{
    use_stand_in_7z(current_listing({{0, "empty.sfs"}}), "0 empty.sfs\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    EXPECT_EQ(l, image_checks() + copy_line("empty.sfs") + text(20) + syslinux_lines() + text(37));
    EXPECT_EQ(file_size("E:\\kavel\\empty.sfs"), 0);
}

TEST_F(InstallRun, ACommandLineThatWouldNotFitIsNeverCut)
{
    std::string name = std::string(990, 'n') + ".sfs";
    use_stand_in_7z(current_listing({{10, name}}), "10 " + name + "\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    EXPECT_EQ(l.substr(l.size() - (text(18) + text(38)).size()), text(18) + text(38)) << l;
    EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
}

TEST_F(InstallRun, ExtractionChildFailingWithTheRightSizeGoesOn)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "1");
    put("7z.e-out", "some warning\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(18) + "some warning\r\n" +
                                  text(20) + syslinux_lines() + text(37));
}

TEST_F(InstallRun, AWrongSizeEndsTheRun)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}, {10, "b.sfs"}}), "4000 a.sfs\n10 b.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(30) + text(38));
    EXPECT_EQ(file_size("E:\\kavel\\b.sfs"), -1);
}

TEST_F(InstallRun, SyslinuxFailingShowsItsErrorTextOnly)
{
    put("syslinux.code", "1");
    put("syslinux.out", "said on standard output\r\n");
    put("syslinux.err", "said on standard error\r\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    std::string tail = format_text(31, 'E') + text(20) + format_text(41, 'E') + text(20) +
                       text(32) + text(18) + "said on standard error\r\n" + text(38);
    ASSERT_GE(l.size(), tail.size());
    EXPECT_EQ(l.substr(l.size() - tail.size()), tail);
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
    std::string tail = format_text(31, 'E') + text(18) + reason + "\r\n" + text(38);
    ASSERT_GE(l.size(), tail.size());
    EXPECT_EQ(l.substr(l.size() - tail.size()), tail);
    EXPECT_EQ(read_file(folder + "syslinux.args"), "");
}

TEST_F(InstallRun, AFixedDiskTargetNeedsItsPartitionNamedWhichWineCannotDo)
{
    remove_tree("F:\\kavel");
    SetFileAttributesA("C:\\GRLDR", FILE_ATTRIBUTE_NORMAL);
    DeleteFileA("C:\\GRLDR");
    start(images + "kavel-test.iso", false, 'F');
    std::string l = finished_log();
    std::string tail = text(33) + text(18) + text(38);
    ASSERT_GE(l.size(), tail.size());
    EXPECT_EQ(l.substr(l.size() - tail.size()), tail);
    // The files are in place all the same, and nothing was written on C:.
    EXPECT_EQ(file_size("F:\\kavel\\vmlinuz"), 307200);
    EXPECT_EQ(GetFileAttributesA("C:\\GRLDR"), INVALID_FILE_ATTRIBUTES);
    remove_tree("F:\\kavel");
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
        PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
        click(main, 1009);
        progress = wait_dialog_titled(app.pi.dwProcessId, text(14), WAIT_MS);
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(WaitForSingleObject(child, 5000), WAIT_OBJECT_0) << "the old child runs on";
        CloseHandle(child);
        // The new run's log holds its own lines only, up to its own extraction.
        ASSERT_TRUE(log_has(copy_line("slow.sfs")));
        EXPECT_EQ(log(), image_checks() + copy_line("slow.sfs"));
        EXPECT_LE(children_named(&app, "7z.exe").size(), 1u);
    }
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
}

} // namespace
