// The drive diagnostics log c:\tovkast_drive.log, byte for byte, as the
// installer writes it when its main dialog opens under Wine. Wine opens every
// offered volume and gives its disk number, but refuses the partition
// information (error 50) for fixed and removable volumes alike, and no
// physical disk can be read, so each offered drive gets the error line of that
// request and no "[xdio]" line appears.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "installer_session.h"
#include "wine_drives.h"

namespace {

const char LOG_PATH[] = "c:\\tovkast_drive.log";

std::string read_log()
{
    std::ifstream in(LOG_PATH, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool log_exists()
{
    return GetFileAttributesA(LOG_PATH) != INVALID_FILE_ATTRIBUTES;
}

// The system's text for `error` as the installer fetches it.
std::string system_text(DWORD error)
{
    char* message = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = n != 0 && message ? std::string(message, n) : std::string();
    if (message)
        LocalFree(message);
    return text;
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
        letters = with_root_drive("CEFI", installer.dialog);
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
        EXPECT_EQ(read_log(), expected_log(with_root_drive("CEFI", installer.dialog)));
        EXPECT_TRUE(installer.leave());
    }
}

TEST(DriveLog, DescribesOnlyOfferedDrivesInLetterOrder)
{
    for (char letter : {'A', 'B', 'J', 'K', 'L', 'M', 'N', 'O'})
        ASSERT_FALSE(drive_present(letter)) << letter << ": is taken in this environment";
    added_drives added;
    std::string device_folder = drive_folder("log-device-folder", "");
    std::string device_file = own_folder() + "drive_folders\\log-device-file";
    std::ofstream(device_file) << "not a disk";
    ASSERT_TRUE(added.add('A', DRIVE_REMOVABLE, "FLOPPYA"));
    ASSERT_TRUE(added.add('B', DRIVE_REMOVABLE, ""));
    ASSERT_TRUE(added.add('J', DRIVE_FIXED, "SHUT", device_folder));
    ASSERT_TRUE(added.add('K', DRIVE_FIXED, "MUTE", device_file));
    ASSERT_TRUE(added.add('L', DRIVE_FIXED, "SPARE"));
    ASSERT_TRUE(added.add('M', DRIVE_REMOVABLE, "STICK"));
    ASSERT_TRUE(added.add('N', DRIVE_CDROM, ""));
    ASSERT_TRUE(added.add('O', DRIVE_REMOTE, ""));

    installer_session installer;
    ASSERT_TRUE(installer.open());
    std::string log = read_log();
    EXPECT_EQ(log, expected_log(with_root_drive("CEFILM", installer.dialog)));
    EXPECT_EQ(log.find("[xdio]"), std::string::npos);
    EXPECT_TRUE(installer.leave());
}

} // namespace
