// A hard-disk install on Windows Vista to 11 (Wine answers as Windows 7): the
// boot manager's menu gains an entry that starts C:\g2ldr.mbr, through the
// stand-in bcdedit in the prefix's system folder. The partition naming, the
// progress reports and the PC's firmware and encryption are substitutes
// (tests/substitutes), linked in place of the real ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "install/boot_setup.h"
#include "install/hard_disk_mode.h"
#include "installer_session.h"
#include "resources/resource_ids.h"
#include "tests/substitutes/recorded_run.h"
#include "ui_driver.h"

namespace {

constexpr DWORD LOADER_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const wchar_t TIMEOUT_KEY[] = L"BCD00000000\\Objects\\{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
                              L"\\Elements\\25000004";
const wchar_t SECURE_BOOT_KEY[] = L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State";
// The stand-in's first and second new entries.
const std::string ID = "{6b1f0a4e-0c3d-4a7e-9d21-000000000001}";
const std::string ID2 = "{6b1f0a4e-0c3d-4a7e-9d21-000000000002}";
const char ENTRY[] = "\r\ntitle Kavel Linux (tovkast)\r\nroot (hd0,1)\r\n"
                     "kernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel\r\n"
                     "initrd /kavel/initrd.gz\r\n";
const char BOOT_INI[] = "[boot loader]\r\ntimeout=0\r\n";
const char* const C_FILES[] = {"C:\\g2ldr.mbr", "C:\\g2ldr", "C:\\g2ldr.id",
                               "C:\\menu.lst",  "C:\\GRLDR", "C:\\boot.ini"};

void set_timeout(uint64_t seconds)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, TIMEOUT_KEY, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Element", 0, REG_BINARY, reinterpret_cast<BYTE*>(&seconds),
                   sizeof seconds);
    RegCloseKey(key);
}

uint64_t timeout()
{
    uint64_t seconds = ~0ull;
    DWORD size = sizeof seconds;
    RegGetValueW(HKEY_LOCAL_MACHINE, TIMEOUT_KEY, L"Element", RRF_RT_REG_BINARY, nullptr, &seconds,
                 &size);
    return seconds;
}

std::string command(const std::string& arguments)
{
    return "bcdedit " + arguments;
}

struct BootManagerSetUp : ::testing::Test {
    const std::string folder = own_folder();
    void SetUp() override
    {
        reset_recorded_run();
        for (const char* fact :
             {"KAVEL_TEST_UEFI", "KAVEL_TEST_64BIT", "KAVEL_TEST_ESP", "KAVEL_TEST_BITLOCKER"})
            SetEnvironmentVariableA(fact, nullptr);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, SECURE_BOOT_KEY, L"UEFISecureBootEnabled");
        write_file(folder + "g2ldr.mbr", "boot-sector file of the tests\n");
        write_file(folder + "g2ldr", "GRUB 2 of the tests\n");
        remove_file(folder + "grldr");
        for (const char* f : C_FILES)
            remove_file(f);
        for (const char* f : {"bcdedit.args", "bcdedit.store", "bcdedit.made", "bcdedit.fail"})
            remove_file(folder + f);
        set_timeout(30);
    }
    std::vector<std::string> commands()
    {
        std::vector<std::string> lines;
        std::istringstream all(read_file(folder + "bcdedit.args"));
        for (std::string line; std::getline(all, line);)
            lines.push_back(line);
        return lines;
    }
    std::string copies()
    {
        return format_text(IDS_COPYING, 'C', "", "g2ldr.mbr") + text(IDS_DONE) +
               format_text(IDS_COPYING, 'C', "", "g2ldr") + text(IDS_DONE);
    }
    std::string success_log()
    {
        return text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) + copies() +
               text(IDS_EDITING_MENU_LST) + text(IDS_DONE) + text(IDS_ADDING_BOOT_MENU_ENTRY) +
               text(IDS_DONE) + text(IDS_CHECKING_BOOT_MENU_TIMEOUT) + text(IDS_DONE) +
               text(IDS_SUCCEEDED);
    }
    void run()
    {
        checks_left = 1000;
        naming_calls = 0;
        run_log.clear();
        leave_run(boot_setup('F'), nullptr);
    }
};

TEST_F(BootManagerSetUp, TheEntryStartsTheBootSectorFileOnCAndComesLast)
{
    // A boot.ini left from an earlier Windows is not what this one reads.
    write_file("C:\\boot.ini", BOOT_INI);
    set_timeout(0);
    run();
    EXPECT_EQ(run_log, success_log());
    EXPECT_EQ(commands(),
              (std::vector<std::string>{
                  command("/create /d \"Kavel Linux (tovkast)\" /application bootsector"),
                  command("/set " + ID + " device partition=C:"),
                  command("/set " + ID + " path \\g2ldr.mbr"),
                  command("/displayorder " + ID + " /addlast"), command("/timeout 5")}));
    EXPECT_EQ(timeout(), 5u);
    EXPECT_EQ(read_file("C:\\g2ldr.mbr"), read_file(folder + "g2ldr.mbr"));
    EXPECT_EQ(read_file("C:\\g2ldr"), read_file(folder + "g2ldr"));
    EXPECT_EQ(read_file("C:\\menu.lst"), ENTRY);
    EXPECT_EQ(read_file("C:\\g2ldr.id"), ID + "\r\n");
    for (const char* f : {"C:\\g2ldr.mbr", "C:\\g2ldr", "C:\\menu.lst", "C:\\g2ldr.id"})
        EXPECT_EQ(GetFileAttributesA(f) & LOADER_ATTRIBUTES, LOADER_ATTRIBUTES) << f;
    EXPECT_EQ(read_file("C:\\boot.ini"), BOOT_INI);
    EXPECT_EQ(GetFileAttributesA("C:\\GRLDR"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(bar_positions, (std::vector<int>{95, 100}));
    EXPECT_EQ(end_run_calls, 1);
}

TEST_F(BootManagerSetUp, ASecondRunTakesUpItsEntryAndAGoneOneIsMadeAgain)
{
    run();
    remove_file(folder + "bcdedit.args");
    run();
    EXPECT_EQ(run_log, success_log());
    // A time-out other than 0 is left alone.
    EXPECT_EQ(commands(), (std::vector<std::string>{command("/enum " + ID),
                                                    command("/set " + ID + " device partition=C:"),
                                                    command("/set " + ID + " path \\g2ldr.mbr"),
                                                    command("/displayorder " + ID + " /addlast")}));
    EXPECT_EQ(read_file(folder + "bcdedit.store"), ID + "\n");
    EXPECT_EQ(timeout(), 30u);
    EXPECT_EQ(read_file("C:\\menu.lst"), std::string(ENTRY) + ENTRY);

    // The user deleted it meanwhile: a new one, remembered in its place.
    write_file(folder + "bcdedit.store", "");
    remove_file(folder + "bcdedit.args");
    run();
    EXPECT_EQ(run_log, success_log());
    ASSERT_EQ(commands().size(), 5u);
    EXPECT_EQ(commands()[1],
              command("/create /d \"Kavel Linux (tovkast)\" /application bootsector"));
    EXPECT_EQ(read_file("C:\\g2ldr.id"), ID2 + "\r\n");

    // A remembered text that is no identifier is not taken up, nor passed on.
    write_file("C:\\g2ldr.id", "{x\" /delete {bootmgr}\r\n");
    remove_file(folder + "bcdedit.args");
    run();
    EXPECT_EQ(commands()[0],
              command("/create /d \"Kavel Linux (tovkast)\" /application bootsector"));
}

TEST_F(BootManagerSetUp, AStepAfterTheEntryFailsTheEntryGoesAndCIsAsBefore)
{
    const std::string output = "Fehler beim Versuch, die Eingabe zu lesen.\r\n"
                               "Der Parameter ist falsch.\r\n";
    const std::string steps[] = {"device partition=C:", "path \\g2ldr.mbr", "/displayorder",
                                 "/timeout"};
    for (const std::string& step : steps) {
        SCOPED_TRACE(step);
        SetUp();
        set_timeout(0);
        write_file("C:\\menu.lst", "timeout 3\r\n");
        SetFileAttributesA("C:\\menu.lst", FILE_ATTRIBUTE_HIDDEN);
        write_file(folder + "bcdedit.fail", step);
        run();
        EXPECT_TRUE(ends_with(run_log, text(IDS_FAILED) + output + text(IDS_INTERRUPTED)))
            << run_log;
        EXPECT_EQ(run_log.find(text(IDS_BOOT_MENU_ENTRY_LEFT).substr(0, 9)), std::string::npos);
        ASSERT_FALSE(commands().empty());
        EXPECT_EQ(commands().back(), command("/delete " + ID));
        EXPECT_EQ(read_file(folder + "bcdedit.store"), "");
        EXPECT_EQ(read_file("C:\\menu.lst"), "timeout 3\r\n");
        EXPECT_EQ(GetFileAttributesA("C:\\menu.lst") & ~FILE_ATTRIBUTE_ARCHIVE,
                  static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
        for (const char* f : {"C:\\g2ldr.mbr", "C:\\g2ldr", "C:\\g2ldr.id"})
            EXPECT_EQ(GetFileAttributesA(f), INVALID_FILE_ATTRIBUTES) << f;
        EXPECT_EQ(timeout(), 0u);
        EXPECT_EQ(end_run_calls, 1);
    }

    // The creation itself failed: nothing to delete; a menu.lst that was not
    // there is not left behind.
    SetUp();
    write_file(folder + "bcdedit.fail", "/create");
    run();
    EXPECT_TRUE(ends_with(run_log, text(IDS_ADDING_BOOT_MENU_ENTRY) + text(IDS_FAILED) + output +
                                       text(IDS_INTERRUPTED)))
        << run_log;
    EXPECT_EQ(commands().size(), 1u);
    for (const char* f : C_FILES)
        EXPECT_EQ(GetFileAttributesA(f), INVALID_FILE_ATTRIBUTES) << f;
}

TEST_F(BootManagerSetUp, HalfAPairBesideTheInstallerCopiesNeither)
{
    remove_file(folder + "g2ldr");
    run();
    EXPECT_EQ(run_log, text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) +
                           format_text(IDS_COPYING, 'C', "", "g2ldr") + text(IDS_FAILED) +
                           system_text(ERROR_FILE_NOT_FOUND) + "\r\n" + text(IDS_INTERRUPTED));
    EXPECT_EQ(GetFileAttributesA("C:\\g2ldr.mbr"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(commands().size(), 0u);
}

TEST_F(BootManagerSetUp, RefusedWhereTheBootManagerCannotStartIt)
{
    EXPECT_EQ(check_hard_disk_install('F').end, STEP_GOES_ON);
    EXPECT_EQ(run_log, "");

    for (char encrypted : {'C', 'F'}) {
        run_log.clear();
        checks_left = 1000;
        SetEnvironmentVariableA("KAVEL_TEST_BITLOCKER", std::string(1, encrypted).c_str());
        leave_run(check_hard_disk_install('F'), nullptr);
        EXPECT_EQ(run_log, format_text(IDS_BITLOCKER_DRIVE, encrypted) + text(IDS_INTERRUPTED));
    }
    SetEnvironmentVariableA("KAVEL_TEST_BITLOCKER", nullptr);

    // No bcdedit: a boot.ini does not stand in for it.
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string bcdedit = std::string(system) + "\\bcdedit.exe";
    const std::string away = bcdedit + ".away";
    ASSERT_TRUE(MoveFileA(bcdedit.c_str(), away.c_str()));
    write_file("C:\\boot.ini", BOOT_INI);
    run_log.clear();
    checks_left = 1000;
    leave_run(check_hard_disk_install('F'), nullptr);
    MoveFileA(away.c_str(), bcdedit.c_str());
    EXPECT_EQ(run_log, text(IDS_NO_BOOT_INI) + text(IDS_INTERRUPTED));
}

// A PC that started Windows 7 to 11 through 64-bit UEFI: GRUB for UEFI goes
// on the EFI system partition, a folder of the test here.
struct UefiSetUp : BootManagerSetUp {
    const std::string esp = own_folder() + "esp\\";
    void SetUp() override
    {
        BootManagerSetUp::SetUp();
        SetEnvironmentVariableA("KAVEL_TEST_UEFI", "1");
        SetEnvironmentVariableA("KAVEL_TEST_64BIT", "1");
        SetEnvironmentVariableA("KAVEL_TEST_ESP", esp.c_str());
        for (const char* f : {"grubx64.efi", "kavel.cfg", "kavel.id"})
            remove_file(esp + "EFI\\kavel\\" + f);
        RemoveDirectoryA((esp + "EFI\\kavel").c_str());
        CreateDirectoryA(esp.c_str(), nullptr);
        CreateDirectoryA((folder + "efi-grub").c_str(), nullptr);
        write_file(folder + "efi-grub\\grubx64.efi", "GRUB for UEFI of the tests\n");
        // The target, C:, the target again for the menu entry.
        namings = {"(hd0,5)", "(hd0,2)", "(hd0,5)"};
    }
    void run()
    {
        namings = {"(hd0,5)", "(hd0,2)", "(hd0,5)"};
        BootManagerSetUp::run();
    }
    std::string on_esp(const char* name) { return esp + "EFI\\kavel\\" + name; }
    std::string success_log()
    {
        return text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) + text(IDS_COPYING_TO_ESP) +
               text(IDS_DONE) + text(IDS_EDITING_MENU_LST) + text(IDS_DONE) +
               text(IDS_ADDING_FIRMWARE_ENTRY) + text(IDS_DONE) + text(IDS_HOW_TO_START_UEFI) +
               text(IDS_SUCCEEDED);
    }
};

const char UEFI_ENTRY[] = "\r\ntitle Kavel Linux (tovkast)\r\nroot (hd0,5)\r\n"
                          "kernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel\r\n"
                          "initrd /kavel/initrd.gz\r\n";

TEST_F(UefiSetUp, GrubGoesOnTheSystemPartitionAndTheFirmwareMenuGainsItLast)
{
    set_timeout(0);
    run();
    EXPECT_EQ(run_log, success_log());
    EXPECT_EQ(commands(), (std::vector<std::string>{
                              command("/copy {bootmgr} /d \"Kavel Linux (tovkast)\""),
                              command("/set " + ID + " path \\EFI\\kavel\\grubx64.efi"),
                              command("/set {fwbootmgr} displayorder " + ID + " /addlast")}));
    EXPECT_EQ(read_file(on_esp("grubx64.efi")), read_file(folder + "efi-grub\\grubx64.efi"));
    EXPECT_EQ(read_file(on_esp("kavel.cfg")),
              "# Written by the Kavel Linux installer: C:\\menu.lst is on (hd0,2).\r\n"
              "legacy_configfile (hd0,3)/menu.lst\r\n");
    EXPECT_EQ(read_file(on_esp("kavel.id")), ID + "\r\n");
    EXPECT_EQ(read_file("C:\\menu.lst"), UEFI_ENTRY);
    // Nothing of the BIOS way, and the boot manager's own time-out stays.
    for (const char* f : {"C:\\g2ldr.mbr", "C:\\g2ldr", "C:\\g2ldr.id"})
        EXPECT_EQ(GetFileAttributesA(f), INVALID_FILE_ATTRIBUTES) << f;
    EXPECT_EQ(timeout(), 0u);
    EXPECT_EQ(bar_positions, (std::vector<int>{95, 100}));

    // Again: the same entry, taken up.
    remove_file(folder + "bcdedit.args");
    run();
    EXPECT_EQ(run_log, success_log());
    EXPECT_EQ(commands(),
              (std::vector<std::string>{
                  command("/enum " + ID), command("/set " + ID + " path \\EFI\\kavel\\grubx64.efi"),
                  command("/set {fwbootmgr} displayorder " + ID + " /addlast")}));
    EXPECT_EQ(read_file(folder + "bcdedit.store"), ID + "\n");
}

TEST_F(UefiSetUp, AFailedStepTakesBackTheEntryThePartitionsFilesAndC)
{
    const std::string output = "Fehler beim Versuch, die Eingabe zu lesen.\r\n"
                               "Der Parameter ist falsch.\r\n";
    for (const char* step : {"/copy", " path ", "{fwbootmgr}"}) {
        SCOPED_TRACE(step);
        SetUp();
        write_file("C:\\menu.lst", "timeout 3\r\n");
        write_file(folder + "bcdedit.fail", step);
        run();
        EXPECT_TRUE(ends_with(run_log, text(IDS_ADDING_FIRMWARE_ENTRY) + text(IDS_FAILED) + output +
                                           text(IDS_INTERRUPTED)) ||
                    ends_with(run_log, text(IDS_FAILED) + output + text(IDS_INTERRUPTED)))
            << run_log;
        EXPECT_EQ(read_file(folder + "bcdedit.store"), "");
        if (std::string(step) != "/copy") {
            EXPECT_EQ(commands().back(), command("/delete " + ID));
        }
        EXPECT_EQ(GetFileAttributesA((esp + "EFI\\kavel").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(read_file("C:\\menu.lst"), "timeout 3\r\n");
        EXPECT_EQ(end_run_calls, 1);
    }

    // GRUB for UEFI missing beside the installer: nothing is written.
    SetUp();
    remove_file(folder + "efi-grub\\grubx64.efi");
    run();
    EXPECT_EQ(run_log, text(IDS_IDENTIFYING_PARTITION) + text(IDS_DONE) + text(IDS_COPYING_TO_ESP) +
                           text(IDS_FAILED) + system_text(ERROR_FILE_NOT_FOUND) + "\r\n" +
                           text(IDS_INTERRUPTED));
    EXPECT_EQ(GetFileAttributesA((esp + "EFI\\kavel").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(commands().size(), 0u);
}

TEST_F(UefiSetUp, RefusedWhereGrubForUefiCannotStart)
{
    EXPECT_EQ(check_hard_disk_install('F').end, STEP_GOES_ON);

    SetEnvironmentVariableA("KAVEL_TEST_64BIT", nullptr);
    leave_run(check_hard_disk_install('F'), nullptr);
    EXPECT_EQ(run_log, text(IDS_UEFI_32_BIT) + text(IDS_INTERRUPTED));
    SetEnvironmentVariableA("KAVEL_TEST_64BIT", "1");

    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, SECURE_BOOT_KEY, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD on = 1;
    RegSetValueExW(key, L"UEFISecureBootEnabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&on),
                   sizeof on);
    run_log.clear();
    checks_left = 1000;
    leave_run(check_hard_disk_install('F'), nullptr);
    EXPECT_EQ(run_log, text(IDS_SECURE_BOOT_ON) + text(IDS_INTERRUPTED));
    DWORD off = 0;
    RegSetValueExW(key, L"UEFISecureBootEnabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off),
                   sizeof off);
    RegCloseKey(key);
    EXPECT_EQ(check_hard_disk_install('F').end, STEP_GOES_ON);

    SetEnvironmentVariableA("KAVEL_TEST_ESP", nullptr);
    run_log.clear();
    checks_left = 1000;
    leave_run(check_hard_disk_install('F'), nullptr);
    EXPECT_EQ(run_log, text(IDS_NO_ESP) + text(IDS_INTERRUPTED));
}

} // namespace
