#include "install/boot_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <process.h>
#define test_pid _getpid
#else
#include <unistd.h>
#define test_pid getpid
#endif

namespace {

// A line end as a text-mode stream writes it here: the Windows runtime (also
// under Wine) turns each \n into CR LF.
#ifdef _WIN32
const std::string NL = "\r\n";
#else
const std::string NL = "\n";
#endif

const std::string BOOT_INI_ENTRY = NL + "C:\\GRLDR=\"Kavel Linux (tovkast)\"" + NL;

std::string menu_entry(const std::string& device)
{
    return NL + "title Kavel Linux (tovkast)" + NL + "root " + device + NL +
           "kernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel" + NL + "initrd /kavel/initrd.gz" + NL;
}

// A file of its own for each test, removed afterwards.
class BootFiles : public testing::Test {
protected:
    void SetUp() override
    {
        path = testing::TempDir() + "kavel_boot_" + std::to_string(test_pid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        std::remove(path.c_str());
    }
    void TearDown() override { std::remove(path.c_str()); }

    void write(const std::string& bytes)
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(bytes.size(), std::fwrite(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
    }

    std::string read()
    {
        std::string bytes;
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return "(missing)";
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.append(buf, n);
        std::fclose(f);
        return bytes;
    }

    // The two boot.ini steps of a run, as the installer does them.
    std::string edit_boot_ini(const std::string& before)
    {
        write(before);
        EXPECT_EQ(BOOT_FILE_OK, set_boot_timeout(path.c_str()));
        EXPECT_EQ(BOOT_FILE_OK, append_boot_ini_entry(path.c_str(), "C:\\GRLDR"));
        return read();
    }

    std::string path;
};

const std::string INI_HEAD = "[boot loader]\r\n";
const std::string INI_TAIL = "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
                             "[operating systems]\r\n"
                             "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" "
                             "/fastdetect\r\n";

TEST_F(BootFiles, ZeroTimeoutBecomesFiveAndTheEntryIsAdded)
{
    EXPECT_EQ(INI_HEAD + "timeout=5\r\n" + INI_TAIL + BOOT_INI_ENTRY,
              edit_boot_ini(INI_HEAD + "timeout=0\r\n" + INI_TAIL));
}

TEST_F(BootFiles, OtherTimeoutsStayAndOnlyTheEntryIsAdded)
{
    const char* kept[] = {"timeout=30", "timeout=00",  "timeout=05",  "Timeout=0",
                          " timeout=0", "\ttimeout=0", "timeout=0;x", "timeout = 0"};
    for (const char* line : kept) {
        std::string before = INI_HEAD + line + "\r\n" + INI_TAIL;
        EXPECT_EQ(before + BOOT_INI_ENTRY, edit_boot_ini(before)) << line;
    }
}

TEST_F(BootFiles, WhatMayFollowTheZero)
{
    // A blank, a tab, a CR, a LF, or the end of the file.
    const char* after[] = {" ", "\t", " ; quick", "\r\n", "\n", ""};
    for (const char* rest : after) {
        std::string before = INI_HEAD + "timeout=0" + rest;
        std::string expected = INI_HEAD + "timeout=5" + rest + BOOT_INI_ENTRY;
        EXPECT_EQ(expected, edit_boot_ini(before)) << '"' << rest << '"';
    }
}

TEST_F(BootFiles, OnlyTheFirstZeroTimeoutChanges)
{
    EXPECT_EQ(INI_HEAD + "timeout=5\r\ntimeout=0\r\n" + INI_TAIL + BOOT_INI_ENTRY,
              edit_boot_ini(INI_HEAD + "timeout=0\r\ntimeout=0\r\n" + INI_TAIL));
}

TEST_F(BootFiles, LineEndsInLineFeedsAlone)
{
    // The Windows runtime's text-mode positions are wrong on such a file; the
    // edit must still hit the 0 of the time-out line.
    std::string head = "[boot loader]\n; comment line\n";
    std::string tail = "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\n";
    EXPECT_EQ(head + "timeout=5\n" + tail + BOOT_INI_ENTRY,
              edit_boot_ini(head + "timeout=0\n" + tail));
}

TEST_F(BootFiles, LongLinesAreReadInPiecesOf1023)
{
    // A line of 1500 characters before the time-out line does not hide it.
    std::string filler(1500, 'x');
    EXPECT_EQ(INI_HEAD + filler + "\r\ntimeout=5\r\n" + BOOT_INI_ENTRY,
              edit_boot_ini(INI_HEAD + filler + "\r\ntimeout=0\r\n"));

    // A piece that begins with the time-out text counts as a line ...
    std::string piece(1023, 'y');
    EXPECT_EQ(piece + "timeout=5\r\n" + BOOT_INI_ENTRY, edit_boot_ini(piece + "timeout=0\r\n"));
    // ... one that begins a character later does not.
    std::string off(1022, 'y');
    EXPECT_EQ(off + "timeout=0\r\n" + BOOT_INI_ENTRY, edit_boot_ini(off + "timeout=0\r\n"));
}

TEST_F(BootFiles, MissingBootIniIsNotCreated)
{
    EXPECT_EQ(BOOT_FILE_CANNOT_OPEN, set_boot_timeout(path.c_str()));
    EXPECT_EQ("(missing)", read());
}

TEST_F(BootFiles, MissingMenuIsCreatedWithTheEntryAlone)
{
    ASSERT_EQ(BOOT_FILE_OK, append_menu_entry(path.c_str(), "(hd0,1)"));
    std::string entry = read();
    EXPECT_EQ(menu_entry("(hd0,1)"), entry);
    EXPECT_EQ(NL, entry.substr(0, NL.size()));
    // 29 + 6 + 7 + 49 + 24 characters, one more for each line end on Windows.
    EXPECT_EQ(115u + 5 * (NL.size() - 1), entry.size());
}

TEST_F(BootFiles, EveryRunAppendsAnotherEntry)
{
    write("timeout 5" + NL + "default 0" + NL);
    ASSERT_EQ(BOOT_FILE_OK, append_menu_entry(path.c_str(), "(hd0,0)"));
    ASSERT_EQ(BOOT_FILE_OK, append_menu_entry(path.c_str(), "(hd0,0)"));
    EXPECT_EQ("timeout 5" + NL + "default 0" + NL + menu_entry("(hd0,0)") + menu_entry("(hd0,0)"),
              read());

    write("x");
    ASSERT_EQ(BOOT_FILE_OK, append_boot_ini_entry(path.c_str(), "C:\\GRLDR"));
    ASSERT_EQ(BOOT_FILE_OK, append_boot_ini_entry(path.c_str(), "C:\\GRLDR"));
    EXPECT_EQ("x" + BOOT_INI_ENTRY + BOOT_INI_ENTRY, read());
}

TEST_F(BootFiles, FilesThatCannotBeOpened)
{
    std::string nowhere = path + "_no_such_folder/menu.lst";
    EXPECT_EQ(BOOT_FILE_CANNOT_OPEN, append_menu_entry(nowhere.c_str(), "(hd0,1)"));
    EXPECT_EQ(BOOT_FILE_CANNOT_OPEN, append_boot_ini_entry(nowhere.c_str(), "C:\\GRLDR"));
    EXPECT_EQ(BOOT_FILE_CANNOT_OPEN, set_boot_timeout(nowhere.c_str()));
}

TEST_F(BootFiles, TheUefiGrubConfigurationNamesCInGrub2sNumbering)
{
    write("old text that goes" + NL);
    ASSERT_EQ(BOOT_FILE_OK, write_uefi_grub_config(path.c_str(), "(hd0,2)"));
    EXPECT_EQ("# Written by the Kavel Linux installer: C:\\menu.lst is on (hd0,2)." + NL +
                  "legacy_configfile (hd0,3)/menu.lst" + NL,
              read());
    ASSERT_EQ(BOOT_FILE_OK, write_uefi_grub_config(path.c_str(), "(hd1,4)"));
    EXPECT_NE(read().find("legacy_configfile (hd1,5)/menu.lst"), std::string::npos);
    for (const char* bad : {"", "(hd0)", "(hd0,2", "(fd0,1)", "(hd0,2)x"})
        EXPECT_EQ(BOOT_FILE_NO_DEVICE, write_uefi_grub_config(path.c_str(), bad)) << bad;
    EXPECT_EQ(BOOT_FILE_NO_DEVICE, write_uefi_grub_config(path.c_str(), nullptr));
}

TEST_F(BootFiles, NoDeviceTextLeavesTheMenuAlone)
{
    write("default 0" + NL);
    EXPECT_EQ(BOOT_FILE_NO_DEVICE, append_menu_entry(path.c_str(), nullptr));
    EXPECT_EQ("default 0" + NL, read());
}

} // namespace
