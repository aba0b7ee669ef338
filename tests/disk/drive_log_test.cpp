// The drive diagnostics log c:\tovkast_drive.log, byte for byte, as the
// installer writes it when its main dialog opens under Wine. Wine opens every
// offered volume and gives its disk number, but refuses the partition
// information (error 50) for fixed and removable volumes alike, and no
// physical disk can be read, so each offered drive gets the error line of that
// request and no "[xdio]" line appears.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "installer_session.h"
#include "tests/disk/mixed_drives.h"
#include "wine_drives.h"

namespace {

const char LOG_PATH[] = "c:\\tovkast_drive.log";

// This file's drives besides the mixed ones (tests/disk/mixed_drives.h): a
// floppy without a label, an offered stick, a CD-ROM and a network drive.
const std::vector<drive_spec> OWN_DRIVES = {{'B', DRIVE_REMOVABLE, ""},
                                            {'M', DRIVE_REMOVABLE, "STICK"},
                                            {'N', DRIVE_CDROM, ""},
                                            {'O', DRIVE_REMOTE, ""}};

std::string read_log()
{
    return read_file(LOG_PATH);
}

bool log_exists()
{
    return GetFileAttributesA(LOG_PATH) != INVALID_FILE_ATTRIBUTES;
}

// What a text-mode stream stores for `text`: every "\n" as CR LF.
std::string as_stored(const std::string& text)
{
    std::string stored;
    for (char c : text) {
        if (c == '\n')
            stored += '\r';
        stored += c;
    }
    return stored;
}

// The stored log of the offered drives `letters` under Wine.
std::string expected_log(const std::string& letters)
{
    std::string not_supported = system_text(ERROR_NOT_SUPPORTED);
    std::string text;
    for (char letter : letters)
        text += std::string("DeviceIoControl(\\\\.\\") + letter +
                ":,IOCTL_DISK_GET_PARTITION_INFO): " + not_supported;
    return as_stored(text);
}

// Z: maps the Linux root; the host decides whether Wine can open it, so it is
// logged exactly when the same run lists it.
std::string with_root_drive(std::string letters, HWND dialog)
{
    auto list = drive_entries(dialog);
    if (!list.empty() && list.back().rfind("Z:", 0) == 0)
        letters += 'Z';
    return letters;
}

TEST(DriveLog, IsCreatedOrEmptiedOnEveryStartWithOneLinePerOfferedDrive)
{
    // Stored through a text-mode stream, the text's own CR LF becomes CR CR LF.
    std::string text = system_text(ERROR_NOT_SUPPORTED);
    ASSERT_GE(text.size(), 3u);
    ASSERT_EQ(text.substr(text.size() - 2), "\r\n");

    DeleteFileA(LOG_PATH);
    ASSERT_FALSE(log_exists());
    std::string first;
    std::string letters;
    {
        installer_session installer;
        ASSERT_TRUE(installer.open());
        letters = with_root_drive("CEFI", installer.main);
        first = read_log();
        EXPECT_TRUE(installer.leave());
    }
    EXPECT_EQ(first, expected_log(letters));
    EXPECT_EQ(first.find("[xdio]"), std::string::npos);
    EXPECT_EQ(first.find("[winapi]"), std::string::npos);

    // Old contents, longer than the new, with lines the log could hold.
    std::string junk;
    for (int i = 0; i < 200; ++i)
        junk += "[xdio] dev=hda1 offset=63 size=2048\r\n[winapi] dev=Q:(d0p1) offset=1 size=2\r\n";
    std::ofstream(LOG_PATH, std::ios::binary) << junk;
    ASSERT_EQ(read_log(), junk);
    {
        installer_session installer;
        ASSERT_TRUE(installer.open());
        EXPECT_EQ(read_log(), expected_log(with_root_drive("CEFI", installer.main)));
        EXPECT_TRUE(installer.leave());
    }
}

TEST(DriveLog, DescribesOnlyOfferedDrivesInLetterOrder)
{
    added_drives added;
    ASSERT_TRUE(add_mixed_drives(added, "log-", OWN_DRIVES));

    installer_session installer;
    ASSERT_TRUE(installer.open());
    std::string log = read_log();
    EXPECT_EQ(log, expected_log(with_root_drive("CEFILM", installer.main)));
    EXPECT_EQ(log.find("[xdio]"), std::string::npos);
    EXPECT_TRUE(installer.leave());
}

} // namespace
