#include "setup_window/drive_list.h"

#include <windows.h>

#include "disk/drive_class.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

namespace {
// Room for the platform's longest volume label and its terminator.
constexpr DWORD LABEL_BUFFER_SIZE = 124;
} // namespace

void fill_drive_list()
{
    HWND list = GetDlgItem(main_dialog, IDC_DRIVE_LIST);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);

    // "C:\" then the label right behind it: "C:\\0LABEL" becomes "C: [LABEL]".
    wchar_t entry[4 + LABEL_BUFFER_SIZE + 2] = L"C:\\";
    wchar_t* label = entry + 4;

    walk_drive_letters(GetLogicalDrives(), [&](char letter, bool present) {
        if (!present || classify_drive(letter) == DRIVE_CLASS_NONE)
            return;
        entry[0] = static_cast<wchar_t>(letter);
        if (GetVolumeInformationW(entry, label, LABEL_BUFFER_SIZE, nullptr, nullptr, nullptr,
                                  nullptr, 0)) {
            entry[3] = L'[';
            wchar_t* end = label;
            while (*end)
                ++end;
            end[0] = L']';
            end[1] = L'\0';
        }
        entry[2] = L' ';
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        entry[2] = L'\\';
        entry[3] = L'\0';
    });
}
