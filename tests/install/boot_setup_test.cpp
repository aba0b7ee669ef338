// The boot-loader set-up that ends a run, on the test environment's C: drive;
// the fixed-disk cases on Windows XP (the test environment makes this program
// see XP), whose NTLDR reads C:\boot.ini.
// The partition cannot be named under Wine, so the naming and the worker's
// reporting are substitutes (tests/substitutes), linked in place of the real ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "install/boot_setup.h"
#include "installer_session.h"
#include "resources/resource_ids.h"
#include "tests/substitutes/recorded_run.h"
#include "ui_driver.h"

namespace {

constexpr DWORD LOADER_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

const char BOOT_INI[] = "[boot loader]\r\ntimeout=0\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)"
                        "\\WINDOWS\r\n[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)"
                        "\\WINDOWS=\"Microsoft Windows XP Professional\" /fastdetect\r\n";
const char ENTRY[] = "\r\ntitle Kavel Linux (tovkast)\r\nroot (hd0,1)\r\n"
                     "kernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel\r\n"
                     "initrd /kavel/initrd.gz\r\n";
const char BOOT_LINE[] = "\r\nC:\\GRLDR=\"Kavel Linux (tovkast)\"\r\n";

std::string with_timeout_5(std::string ini)
{
    ini.replace(ini.find("timeout=0"), 9, "timeout=5");
    return ini;
}

struct FixedDiskSetUp : ::testing::Test {
    const std::string copy = format_text(IDS_COPYING, 'C', "", "GRLDR"); // the loader's label
    void SetUp() override
    {
        reset_recorded_run();
        write_file(own_folder() + "grldr", "GRUB4DOS loader of the tests\n");
        // GRUB 2's pair is there too: GRUB4DOS goes first where it is.
        write_file(own_folder() + "g2ldr.mbr", "boot-sector file of the tests\n");
        write_file(own_folder() + "g2ldr", "GRUB 2 of the tests\n");
        for (const char* f :
             {"C:\\GRLDR", "C:\\menu.lst", "C:\\boot.ini", "C:\\g2ldr.mbr", "C:\\g2ldr"})
            remove_file(f);
        write_file("C:\\boot.ini", BOOT_INI);
    }
    // The log of a run that went through every step.
    std::string success_log()
    {
        return text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) + copy + text(IDS_DONE) +
               text(IDS_EDITING_MENU_LST) + text(IDS_DONE) + text(IDS_EDITING_BOOT_INI) +
               text(IDS_DONE) + text(IDS_SUCCEEDED);
    }
};

TEST_F(FixedDiskSetUp, InstallsTheLoaderAndBothBootEntries)
{
    leave_run(boot_setup('F'), nullptr);
    EXPECT_EQ(run_log, success_log());
    EXPECT_EQ(read_file("C:\\GRLDR"), read_file(own_folder() + "grldr"));
    EXPECT_EQ(read_file("C:\\menu.lst"), ENTRY);
    EXPECT_EQ(read_file("C:\\boot.ini"), with_timeout_5(BOOT_INI) + BOOT_LINE);
    for (const char* f : {"C:\\GRLDR", "C:\\menu.lst", "C:\\boot.ini"})
        EXPECT_EQ(GetFileAttributesA(f) & LOADER_ATTRIBUTES, LOADER_ATTRIBUTES) << f;
    EXPECT_EQ(bar_positions, (std::vector<int>{95, 100}));
    EXPECT_EQ(end_run_calls, 1);
    EXPECT_EQ(naming_calls, 2u);
    EXPECT_EQ(GetFileAttributesA("C:\\g2ldr.mbr"), INVALID_FILE_ATTRIBUTES);
    // The installer's folder became the current one.
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_EQ(std::string(current) + "\\", own_folder());
}

TEST_F(FixedDiskSetUp, ASecondRunAddsASecondEntryAndExistingProtectedFilesAreChanged)
{
    write_file("C:\\menu.lst", "timeout 3\r\n");
    SetFileAttributesA("C:\\menu.lst", LOADER_ATTRIBUTES);
    SetFileAttributesA("C:\\boot.ini", LOADER_ATTRIBUTES);
    leave_run(boot_setup('F'), nullptr);
    checks_left = 1000;
    naming_calls = 0;
    leave_run(boot_setup('F'), nullptr);
    EXPECT_EQ(read_file("C:\\menu.lst"), std::string("timeout 3\r\n") + ENTRY + ENTRY);
    EXPECT_EQ(read_file("C:\\boot.ini"), with_timeout_5(BOOT_INI) + BOOT_LINE + BOOT_LINE);
    EXPECT_EQ(GetFileAttributesA("C:\\menu.lst") & LOADER_ATTRIBUTES, LOADER_ATTRIBUTES);
}

TEST_F(FixedDiskSetUp, APartitionWithoutNameEndsTheRunBeforeAnythingIsWritten)
{
    namings = {};
    leave_run(boot_setup('F'), nullptr);
    EXPECT_EQ(run_log, text(IDS_IDENTIFYING_PARTITION) + text(IDS_FAILED) + text(IDS_INTERRUPTED));
    EXPECT_EQ(GetFileAttributesA("C:\\GRLDR"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file("C:\\boot.ini"), BOOT_INI);
    EXPECT_EQ(end_run_calls, 1);
}

TEST_F(FixedDiskSetUp, WhenTheSecondNamingFailsTheFirstNameIsWritten)
{
    namings = {"(hd0,1)"};
    leave_run(boot_setup('F'), nullptr);
    EXPECT_EQ(run_log, success_log());
    EXPECT_EQ(read_file("C:\\menu.lst"), ENTRY);
}

TEST_F(FixedDiskSetUp, WithoutGrldrNtldrStartsTheBootSectorFileOfGrub2)
{
    remove_file(own_folder() + "grldr");
    leave_run(boot_setup('F'), nullptr);
    EXPECT_EQ(run_log, text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) +
                           format_text(IDS_COPYING, 'C', "", "g2ldr.mbr") + text(IDS_DONE) +
                           format_text(IDS_COPYING, 'C', "", "g2ldr") + text(IDS_DONE) +
                           text(IDS_EDITING_MENU_LST) + text(IDS_DONE) +
                           text(IDS_EDITING_BOOT_INI) + text(IDS_DONE) + text(IDS_SUCCEEDED));
    EXPECT_EQ(read_file("C:\\g2ldr.mbr"), read_file(own_folder() + "g2ldr.mbr"));
    EXPECT_EQ(read_file("C:\\g2ldr"), read_file(own_folder() + "g2ldr"));
    EXPECT_EQ(read_file("C:\\menu.lst"), ENTRY);
    EXPECT_EQ(read_file("C:\\boot.ini"),
              with_timeout_5(BOOT_INI) + "\r\nC:\\g2ldr.mbr=\"Kavel Linux (tovkast)\"\r\n");
    EXPECT_EQ(GetFileAttributesA("C:\\GRLDR"), INVALID_FILE_ATTRIBUTES);
    for (const char* f : {"C:\\g2ldr.mbr", "C:\\g2ldr", "C:\\menu.lst", "C:\\boot.ini"})
        EXPECT_EQ(GetFileAttributesA(f) & LOADER_ATTRIBUTES, LOADER_ATTRIBUTES) << f;
}

TEST_F(FixedDiskSetUp, AMissingLoaderIsAFailedCopyWithTheSystemsReason)
{
    remove_file(own_folder() + "grldr");
    remove_file(own_folder() + "g2ldr.mbr");
    remove_file(own_folder() + "g2ldr");
    leave_run(boot_setup('F'), nullptr);
    EXPECT_EQ(run_log, text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) + copy + text(IDS_FAILED) +
                           system_text(ERROR_FILE_NOT_FOUND) + "\r\n" + text(IDS_INTERRUPTED));
    EXPECT_EQ(read_file("C:\\boot.ini"), BOOT_INI);
}

TEST_F(FixedDiskSetUp, AMissingBootIniCannotBeOpened)
{
    remove_file("C:\\boot.ini");
    leave_run(boot_setup('F'), nullptr);
    EXPECT_TRUE(ends_with(run_log, text(IDS_EDITING_BOOT_INI) + text(IDS_CANNOT_OPEN) +
                                       text(IDS_INTERRUPTED)))
        << run_log;
    EXPECT_EQ(GetFileAttributesA("C:\\boot.ini"), INVALID_FILE_ATTRIBUTES);
    // What came before stays: the set-up takes nothing back.
    EXPECT_EQ(read_file("C:\\menu.lst"), ENTRY);
}

// Holds a file open so that nobody else can open it, as another program may.
struct held_file {
    HANDLE handle;
    explicit held_file(const char* path)
        : handle(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~held_file() { CloseHandle(handle); }
};

TEST_F(FixedDiskSetUp, ABootFileWhoseStepFailsGetsItsAttributesBack)
{
    // Each boot file in turn exists, protected, and cannot be opened: its step
    // fails, and the file is as protected as it was before.
    constexpr DWORD PROTECTED = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const struct {
        const char* path;
        std::string tail;
    } cases[] = {
        {"C:\\GRLDR", copy + text(IDS_FAILED)},
        {"C:\\menu.lst",
         text(IDS_EDITING_MENU_LST) + text(IDS_CANNOT_OPEN) + text(IDS_INTERRUPTED)},
        {"C:\\boot.ini",
         text(IDS_EDITING_BOOT_INI) + text(IDS_CANNOT_OPEN) + text(IDS_INTERRUPTED)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetUp();
        if (GetFileAttributesA(c.path) == INVALID_FILE_ATTRIBUTES)
            write_file(c.path, "held\r\n");
        ASSERT_TRUE(SetFileAttributesA(c.path, PROTECTED));
        const DWORD before = GetFileAttributesA(c.path);
        ASSERT_EQ(before & ~FILE_ATTRIBUTE_ARCHIVE, PROTECTED);
        {
            held_file held(c.path);
            ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
            leave_run(boot_setup('F'), nullptr);
        }
        ASSERT_NE(run_log.find(c.tail), std::string::npos) << run_log;
        EXPECT_TRUE(ends_with(run_log, text(IDS_INTERRUPTED))) << run_log;
        EXPECT_EQ(GetFileAttributesA(c.path), before);
    }
}

TEST_F(FixedDiskSetUp, StopAtEachCheckEndsThere)
{
    // The checks: after the loader, after menu.lst, at the finish.
    const std::string after_loader =
        text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) + copy + text(IDS_DONE);
    const std::string after_menu = after_loader + text(IDS_EDITING_MENU_LST) + text(IDS_DONE);
    const std::string all = after_menu + text(IDS_EDITING_BOOT_INI) + text(IDS_DONE);
    const struct {
        int checks;
        std::string log;
    } cases[] = {{0, after_loader + text(IDS_INTERRUPTED)},
                 {1, after_menu + text(IDS_INTERRUPTED)},
                 {2, all + text(IDS_INTERRUPTED)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.checks);
        SetUp();
        checks_left = c.checks;
        leave_run(boot_setup('F'), nullptr);
        EXPECT_EQ(run_log, c.log);
        // Stopped by the user: the worker does not end the run itself.
        EXPECT_EQ(end_run_calls, 0);
    }
}

// The removable branch onto I:, with the stand-in syslinux beside the test.
struct RemovableDriveSetUp : ::testing::Test {
    const char* const names[4] = {"BOOTX64.EFI", "ldlinux.e64", "BOOTIA32.EFI", "ldlinux.e32"};
    void SetUp() override
    {
        run_log.clear();
        bar_positions.clear();
        end_run_calls = 0;
        checks_left = 1000;
        write_file(own_folder() + "syslinux.cfg", "DEFAULT kavel\r\n");
        CreateDirectoryA((own_folder() + "efi").c_str(), nullptr);
        // Each file its own content, so that a swapped name shows.
        for (const char* f : names)
            write_file(own_folder() + "efi\\" + f, std::string("loader file ") + f);
        remove_file(own_folder() + "syslinux.args");
        for (const char* f : names)
            remove_file(std::string("I:\\EFI\\BOOT\\") + f);
        RemoveDirectoryA("I:\\EFI\\BOOT");
        RemoveDirectoryA("I:\\EFI");
        remove_file("I:\\syslinux.cfg");
    }
    std::string label() { return format_text(IDS_COPYING_UEFI_LOADERS, 'I'); }
    std::string after_cfg() { return format_text(IDS_CREATING_SYSLINUX_CFG, 'I') + text(IDS_DONE); }
};

TEST_F(RemovableDriveSetUp, TheLoadersGoInAfterTheCheckThatFollowsSyslinuxCfg)
{
    const std::string all =
        after_cfg() + label() + text(IDS_DONE) + text(IDS_INSTALLING_BOOT_LOADER) + text(IDS_DONE);
    // No check passed: stopped right after syslinux.cfg, before the loaders.
    checks_left = 0;
    leave_run(boot_setup('I'), nullptr);
    EXPECT_EQ(run_log, after_cfg() + text(IDS_INTERRUPTED));
    EXPECT_EQ(GetFileAttributesA("I:\\EFI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file(own_folder() + "syslinux.args"), "");
    EXPECT_EQ(bar_positions, std::vector<int>{95});

    // Stopped at the finish: every step done, the run not a success.
    SetUp();
    checks_left = 1;
    leave_run(boot_setup('I'), nullptr);
    EXPECT_EQ(run_log, all + text(IDS_INTERRUPTED));
    EXPECT_EQ(end_run_calls, 0);

    SetUp();
    leave_run(boot_setup('I'), nullptr);
    EXPECT_EQ(run_log, all + text(IDS_SUCCEEDED));
    EXPECT_EQ(bar_positions, (std::vector<int>{95, 100}));
    EXPECT_EQ(end_run_calls, 1);
    for (const char* f : names)
        EXPECT_EQ(read_file(std::string("I:\\EFI\\BOOT\\") + f), std::string("loader file ") + f);
    EXPECT_EQ(read_file(own_folder() + "syslinux.args"), "syslinux -f I:\n");
}

TEST_F(RemovableDriveSetUp, ALoaderThatCannotBeWrittenIsAFailedCopy)
{
    // A folder where the third loader goes: the copy onto it fails.
    ASSERT_TRUE(CreateDirectoryA("I:\\EFI", nullptr));
    ASSERT_TRUE(CreateDirectoryA("I:\\EFI\\BOOT", nullptr));
    ASSERT_TRUE(CreateDirectoryA("I:\\EFI\\BOOT\\BOOTIA32.EFI", nullptr));
    leave_run(boot_setup('I'), nullptr);
    RemoveDirectoryA("I:\\EFI\\BOOT\\BOOTIA32.EFI");
    EXPECT_EQ(run_log, after_cfg() + label() + text(IDS_FAILED) + system_text(ERROR_ACCESS_DENIED) +
                           "\r\n" + text(IDS_INTERRUPTED));
    EXPECT_EQ(read_file(own_folder() + "syslinux.args"), "");
    EXPECT_EQ(end_run_calls, 1);
}

TEST_F(RemovableDriveSetUp, AFolderInPlaceOfALoaderFileCountsAsMissing)
{
    remove_file(own_folder() + "efi\\ldlinux.e32");
    ASSERT_TRUE(CreateDirectoryA((own_folder() + "efi\\ldlinux.e32").c_str(), nullptr));
    leave_run(boot_setup('I'), nullptr);
    RemoveDirectoryA((own_folder() + "efi\\ldlinux.e32").c_str());
    EXPECT_EQ(run_log, after_cfg() + label() + text(IDS_NO_UEFI_LOADERS) +
                           text(IDS_INSTALLING_BOOT_LOADER) + text(IDS_DONE) + text(IDS_SUCCEEDED));
    EXPECT_EQ(GetFileAttributesA("I:\\EFI"), INVALID_FILE_ATTRIBUTES);
}

} // namespace
