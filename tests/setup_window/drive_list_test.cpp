// The target drive list and the format check box, driven from a second
// process. Drives come from the test environment (E: removable KAVELUSB,
// F: fixed DATA, G: CD-ROM, H: network, I: removable without a label, C: the
// prefix's own fixed drive) and from drives this test adds to the prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <fstream>

#include "expected_texts.h"
#include "installer_session.h"
#include "resources/resource_ids.h"
#include "tests/disk/mixed_drives.h"
#include "wine_drives.h"

namespace {

using entries = std::vector<std::string>;

const entries ENVIRONMENT_DRIVES = {"C: []", "E: [KAVELUSB]", "F: [DATA]", "I: []"};

// This file's drives besides the mixed ones (tests/disk/mixed_drives.h): a
// labelled floppy, a CD-ROM, a network drive and an offered stick without a
// label.
const std::vector<drive_spec> OWN_DRIVES = {{'B', DRIVE_REMOVABLE, "FLOPPYB"},
                                            {'M', DRIVE_CDROM, "DISC"},
                                            {'N', DRIVE_REMOTE, "SHARE"},
                                            {'O', DRIVE_REMOVABLE, ""}};

// Z: is the prefix's view of the Linux root; whether the host lets Wine open
// its volume decides whether it is offered, which no test here controls. It
// may only come last, and it is left out of the comparison.
entries without_root_drive(entries list)
{
    if (!list.empty() && list.back().rfind("Z:", 0) == 0)
        list.pop_back();
    return list;
}

entries shown_drives(HWND dialog)
{
    return without_root_drive(drive_entries(dialog));
}

bool format_checked(HWND dialog)
{
    return SendDlgItemMessageA(dialog, IDC_FORMAT, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool format_enabled(HWND dialog)
{
    return IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT)) != FALSE;
}

// The format box as a user sees it: "enabled" or "disabled", "ticked" or "clear".
std::string format_box(HWND dialog)
{
    return std::string(format_enabled(dialog) ? "enabled" : "disabled") +
           (format_checked(dialog) ? " ticked" : " clear");
}

// Ticks the format box the way a click does.
bool tick_format_box(HWND dialog)
{
    click(dialog, IDC_FORMAT);
    return wait_until([&] { return format_checked(dialog); }, WAIT_MS);
}

// Chooses drive `letter` as a user would; false when it is not listed.
bool select_drive(HWND dialog, char letter)
{
    int index = entry_of(drive_entries(dialog), letter);
    if (index < 0) {
        ADD_FAILURE() << letter << ": is not listed";
        return false;
    }
    select_combo(dialog, IDC_DRIVE_LIST, index);
    return combo_selection(dialog, IDC_DRIVE_LIST) == index;
}

void drop_down_notice(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_DROPDOWN),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_DRIVE_LIST)));
}

void show_drop_down(HWND dialog, bool shown)
{
    SendDlgItemMessageA(dialog, IDC_DRIVE_LIST, CB_SHOWDROPDOWN, shown ? TRUE : FALSE, 0);
}

struct DriveList : ::testing::Test {
    installer_session installer;
    HWND dialog = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(installer.open()) << "main dialog did not open";
        dialog = installer.main;
    }
};

TEST_F(DriveList, OffersRemovableAndFixedDrivesInLetterOrderWithTheirLabels)
{
    entries all = drive_entries(dialog);
    EXPECT_EQ(without_root_drive(all), ENVIRONMENT_DRIVES);
    for (size_t i = 0; i + 1 < all.size(); ++i)
        EXPECT_NE(all[i].rfind("Z:", 0), 0u) << "Z: is listed before the end";
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    EXPECT_EQ(control_text(dialog, IDC_DRIVE_LIST), "");
}

TEST_F(DriveList, FixedDriveClearsAndDisablesTheFormatBoxRemovableEnablesIt)
{
    ASSERT_TRUE(tick_format_box(dialog));
    ASSERT_TRUE(select_drive(dialog, 'F'));
    EXPECT_EQ(format_box(dialog), "disabled clear");

    ASSERT_TRUE(select_drive(dialog, 'E'));
    EXPECT_EQ(format_box(dialog), "enabled clear") << "enabling must not tick the box again";

    // A removable drive leaves a ticked box ticked.
    ASSERT_TRUE(tick_format_box(dialog));
    ASSERT_TRUE(select_drive(dialog, 'I'));
    EXPECT_EQ(format_box(dialog), "enabled ticked");

    // The prefix's own C: is a fixed disk as well.
    ASSERT_TRUE(select_drive(dialog, 'C'));
    EXPECT_EQ(format_box(dialog), "disabled clear");
    ASSERT_TRUE(select_drive(dialog, 'I'));
    EXPECT_EQ(format_box(dialog), "enabled clear");
}

TEST_F(DriveList, RefillOnDropDownDropsTheSelectionButNotTheFormatBoxState)
{
    ASSERT_TRUE(select_drive(dialog, 'E'));
    ASSERT_TRUE(tick_format_box(dialog));
    drop_down_notice(dialog);
    EXPECT_EQ(shown_drives(dialog), ENVIRONMENT_DRIVES);
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    EXPECT_EQ(control_text(dialog, IDC_DRIVE_LIST), "");
    EXPECT_EQ(format_box(dialog), "enabled ticked");

    // The same through the list itself opening and closing without a choice.
    ASSERT_TRUE(select_drive(dialog, 'F'));
    ASSERT_FALSE(format_enabled(dialog));
    show_drop_down(dialog, true);
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    EXPECT_EQ(shown_drives(dialog), ENVIRONMENT_DRIVES);
    show_drop_down(dialog, false);
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    EXPECT_EQ(format_box(dialog), "disabled clear");

    // With no drive chosen any more, Start asks for one.
    std::string image = own_folder() + "drives_probe.iso";
    std::ofstream(image) << "not looked at before a run";
    set_control_text(dialog, IDC_IMAGE_PATH, image);
    click(dialog, IDC_START);
    HWND box = wait_dialog(installer.app.pi.dwProcessId, dialog, WAIT_MS);
    ASSERT_NE(box, nullptr) << "Start showed no message";
    EXPECT_EQ(message_box_text(box), text(IDS_NO_DRIVE));
    answer(box);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(box); }, WAIT_MS));
}

TEST_F(DriveList, DropDownShowsDrivesAddedAndRemovedWhileTheInstallerRuns)
{
    ASSERT_TRUE(select_drive(dialog, 'E'));
    ASSERT_TRUE(tick_format_box(dialog));

    added_drives added;
    ASSERT_TRUE(added.add('J', DRIVE_REMOVABLE, "NEWSTICK"));
    ASSERT_TRUE(added.add('K', DRIVE_FIXED, "NEWDISK"));
    // Nothing is cached, but nothing is polled either: the list is as it was
    // until it drops down.
    EXPECT_EQ(shown_drives(dialog), ENVIRONMENT_DRIVES);
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), entry_of(ENVIRONMENT_DRIVES, 'E'));

    show_drop_down(dialog, true);
    entries grown = ENVIRONMENT_DRIVES;
    grown.insert(grown.end(), {"J: [NEWSTICK]", "K: [NEWDISK]"});
    EXPECT_EQ(shown_drives(dialog), grown);
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    show_drop_down(dialog, false);
    EXPECT_EQ(format_box(dialog), "enabled ticked");

    // The new drives are classified like the others.
    ASSERT_TRUE(select_drive(dialog, 'K'));
    EXPECT_EQ(format_box(dialog), "disabled clear");
    ASSERT_TRUE(select_drive(dialog, 'J'));
    EXPECT_TRUE(format_enabled(dialog));

    // A drive taken away is gone at the next drop-down.
    ASSERT_TRUE(select_drive(dialog, 'K'));
    ASSERT_TRUE(added.remove('J'));
    drop_down_notice(dialog);
    entries shrunk = ENVIRONMENT_DRIVES;
    shrunk.push_back("K: [NEWDISK]");
    EXPECT_EQ(shown_drives(dialog), shrunk);
    EXPECT_EQ(combo_selection(dialog, IDC_DRIVE_LIST), CB_ERR);
    EXPECT_FALSE(format_enabled(dialog));
}

// Drives the prefix has before the installer starts that must not be offered:
// A: and B: even though they are floppy drives, CD-ROM and network drives,
// and fixed volumes that cannot be opened or do not answer the bus query.
TEST(DriveListOffers, NeitherAAndBNorDrivesThatAreNoLocalDiskOrDoNotAnswer)
{
    added_drives added;
    ASSERT_TRUE(add_mixed_drives(added, "", OWN_DRIVES));

    // The environment has the shapes asked for.
    EXPECT_EQ(GetDriveTypeA("A:"), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_EQ(GetDriveTypeA("J:"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(GetDriveTypeA("K:"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(GetDriveTypeA("M:"), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(GetDriveTypeA("N:"), static_cast<UINT>(DRIVE_REMOTE));
    HANDLE shut = CreateFileA("\\\\.\\J:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
    EXPECT_EQ(shut, INVALID_HANDLE_VALUE) << "J: opens after all";
    if (shut != INVALID_HANDLE_VALUE)
        CloseHandle(shut);
    HANDLE mute = CreateFileA("\\\\.\\K:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(mute, INVALID_HANDLE_VALUE);
    STORAGE_PROPERTY_QUERY query = {};
    BYTE reply[40] = {};
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(mute, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, reply,
                                 sizeof reply, &returned, nullptr))
        << "K: answers the bus query after all";
    CloseHandle(mute);

    installer_session installer;
    ASSERT_TRUE(installer.open());
    entries expected = ENVIRONMENT_DRIVES;
    expected.insert(expected.end(), {"L: [SPARE]", "O: []"});
    EXPECT_EQ(shown_drives(installer.main), expected);
    EXPECT_TRUE(installer.leave());
}

} // namespace
