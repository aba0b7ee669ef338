#pragma once
// What the whole-run tests share: the installer folder of each case, made
// from the kit, the run through the real dialogs, and the texts of its log.
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

// syslinux's UEFI loaders, as the kit's efi folder holds them.
const char* const UEFI_FILES[] = {"BOOTX64.EFI", "ldlinux.e64", "BOOTIA32.EFI", "ldlinux.e32"};

inline long long file_size(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Wide paths serve a folder whose name code page 936 cannot spell, too.
inline std::wstring widen(const std::string& ansi)
{
    wchar_t buf[2048] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, buf, 2048);
    return buf;
}

inline void remove_tree_w(const std::wstring& folder)
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

inline void remove_tree(const std::string& folder)
{
    remove_tree_w(widen(folder));
}

// Removes `folder` as soon as it can: a program that just ended may hold its
// file a moment longer.
inline void remove_tree_when_free(const std::wstring& folder)
{
    wait_until(
        [&] {
            remove_tree_w(folder);
            return GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
        },
        3000);
}

// A listing of the shape current 7-Zip prints, for the stand-in 7z.
inline std::string current_listing(const std::vector<std::pair<long long, std::string>>& files)
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
        remove_file("E:\\EFI");
        remove_file("E:\\syslinux.cfg");
    }
    void TearDown() override
    {
        stop_app(&app);
        if (!HasFailure())
            remove_tree_when_free(widen(folder.substr(0, folder.size() - 1)));
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
    // The failure box of a program that cannot be started; answered, the
    // installer ends with code 3.
    void expect_create_process_box(HWND box)
    {
        ASSERT_NE(box, nullptr) << "no failure box; the log: " << log();
        EXPECT_EQ(message_box_text(box).rfind("CreateProcess (2): ", 0), 0u)
            << message_box_text(box);
        answer(box);
        EXPECT_EQ(wait_exit(&app, WAIT_MS), 3u);
    }
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
    // The log of a run that went through, extracting `files` in this order,
    // with the UEFI step's outcome.
    std::string success_log(const std::vector<std::string>& files,
                            const std::string& uefi_outcome = text(IDS_DONE))
    {
        std::string expected = image_checks();
        for (const std::string& name : files)
            expected += copy_line(name) + text(IDS_DONE);
        if (!files.empty())
            expected += text(IDS_VERIFYING) + text(IDS_DONE);
        return expected + syslinux_lines(uefi_outcome) + text(IDS_SUCCEEDED);
    }
    // The whole log of a successful run of kavel-test.iso (7-Zip lists the
    // files in the image's order).
    std::string full_run_log()
    {
        return success_log({"base.sfs", "initrd.gz", "my apps.sfs", "vmlinuz"});
    }
};
