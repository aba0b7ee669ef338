#include "setup_window/main_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "disk/drive_class.h"
#include "disk/drive_log.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "install/progress_dialog.h"
#include "resources/resource_ids.h"
#include "setup_window/drive_list.h"
#include "setup_window/picture_link.h"

HWND main_dialog;

namespace {

char image_path_buf[TEXT_BUFFER_SIZE];

// The platform's open-file structure as the first NT versions knew it.
constexpr DWORD OPEN_FILE_STRUCT_SIZE = 76;
constexpr DWORD OPEN_FILE_FLAGS = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
static_assert(OPEN_FILE_FLAGS == 6148, "open-file flags");
static_assert(OPEN_FILE_STRUCT_SIZE <= sizeof(OPENFILENAMEA), "open-file structure");

// A path that is a folder, a system file, offline, or not there at all.
constexpr DWORD UNUSABLE_PATH_BITS =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE;

bool is_lead_byte(unsigned char c)
{
    return IsDBCSLeadByte(c) != FALSE;
}

using init_common_controls_fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// comctl32 is not one of the DLLs Windows always takes from its system folder:
// imported by name, a copy beside the program would be loaded. So it is loaded
// here by its full path in the system folder, and kept, since the progress
// bar's class lives in it. A failure shows as a progress dialog that cannot be
// made, as when the class cannot be registered.
void register_progress_bar_class()
{
    static HMODULE controls_dll = nullptr;
    if (controls_dll == nullptr) {
        wchar_t path[MAX_PATH];
        const wchar_t name[] = L"\\comctl32.dll";
        UINT n = GetSystemDirectoryW(path, MAX_PATH);
        if (n == 0 || n + sizeof name / sizeof name[0] > MAX_PATH)
            return;
        lstrcatW(path, name);
        controls_dll = LoadLibraryW(path);
        if (controls_dll == nullptr)
            return;
    }
    auto init = reinterpret_cast<init_common_controls_fn>(
        reinterpret_cast<void*>(GetProcAddress(controls_dll, "InitCommonControlsEx")));
    if (init == nullptr)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    init(&controls);
}

void show_error(HWND dialog, const char* text, int focus_id)
{
    MessageBoxA(dialog, text, load_res_string(IDS_CAP_ERROR), MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(dialog, focus_id));
}

void on_init(HWND dialog)
{
    main_dialog = dialog;
    write_drive_log();

    LONG previous = SetWindowLongA(GetDlgItem(dialog, IDC_PICTURE), GWL_WNDPROC,
                                   reinterpret_cast<LONG>(picture_link_proc));
    if (previous == 0)
        fail_api("SetWindowLong");
    picture_prev_proc = reinterpret_cast<WNDPROC>(previous);

    SetClassLongA(dialog, GCL_HICON,
                  reinterpret_cast<LONG>(LoadIconA(app_instance, MAKEINTRESOURCEA(IDI_DIALOG))));
    HANDLE help_icon =
        LoadImageA(app_instance, MAKEINTRESOURCEA(IDI_HELP), IMAGE_ICON, 20, 20, LR_DEFAULTCOLOR);
    SendDlgItemMessageA(dialog, IDC_HELP_BUTTON, BM_SETIMAGE, IMAGE_ICON,
                        reinterpret_cast<LPARAM>(help_icon));
    HBITMAP picture = LoadBitmapA(app_instance, MAKEINTRESOURCEA(IDB_PICTURE));
    SendDlgItemMessageA(dialog, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(picture));

    SetWindowTextA(dialog, load_res_string(IDS_MAIN_TITLE));
    static const struct {
        int control;
        int string;
    } texts[] = {
        {IDC_IMAGE_GROUP, IDS_IMAGE_GROUP},
        {IDC_IMAGE_ADVICE, IDS_IMAGE_ADVICE},
        {IDC_DRIVE_GROUP, IDS_DRIVE_GROUP},
        {IDC_DRIVE_ADVICE, IDS_DRIVE_ADVICE},
        {IDC_BROWSE, IDS_BROWSE},
        {IDC_FORMAT, IDS_FORMAT},
        {IDC_START, IDS_START},
        {IDC_EXIT, IDS_EXIT},
    };
    for (const auto& t : texts)
        SetDlgItemTextA(dialog, t.control, load_res_string(t.string));

    SetFocus(GetDlgItem(dialog, IDC_IMAGE_PATH));
    fill_drive_list();
}

void on_browse(HWND dialog)
{
    char file[TEXT_BUFFER_SIZE] = "";
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = OPEN_FILE_STRUCT_SIZE;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter = "ISO Images\0*.iso\0All\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OPEN_FILE_FLAGS;
    if (GetOpenFileNameA(&ofn) == 1)
        SetDlgItemTextA(dialog, IDC_IMAGE_PATH, file);
}

// A drive letter that does not exist here: most often a network drive the
// user mapped, which a program run as administrator does not see. Said after
// `message`, in `size` bytes.
void explain_missing_drive(const char* path, char* message, std::size_t size)
{
    char root[4] = {path[0], ':', '\\', '\0'};
    bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    if (!letter || path[1] != ':' || GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR)
        return;
    std::size_t used = std::strlen(message);
    compose_text(message + used, size - used, "\r\n\r\n");
    used = std::strlen(message);
    compose_text(message + used, size - used, load_res_string(IDS_DRIVE_NOT_VISIBLE),
                 static_cast<char>(path[0] & ~0x20));
}

void on_start(HWND dialog)
{
    const char* path = image_path_text();
    if (path[0] == '\0') {
        show_error(dialog, load_res_string(IDS_NO_IMAGE), IDC_IMAGE_PATH);
        return;
    }
    if (GetFileAttributesA(path) & UNUSABLE_PATH_BITS) {
        char message[2 * TEXT_BUFFER_SIZE];
        format_with_path(message, TEXT_BUFFER_SIZE, load_res_string(IDS_NOT_AN_IMAGE), path,
                         is_lead_byte);
        explain_missing_drive(path, message, sizeof message);
        show_error(dialog, message, IDC_IMAGE_PATH);
        return;
    }
    if (selected_drive_letter() == 0) {
        show_error(dialog, load_res_string(IDS_NO_DRIVE), IDC_DRIVE_LIST);
        return;
    }
    // The progress bar's window class must be registered before its dialog is made.
    register_progress_bar_class();
    // The owner stays disabled while the progress dialog runs.
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), dialog,
                    progress_dialog_proc, 0);
}

void on_drive_list(HWND dialog, int notification)
{
    if (notification == CBN_SELCHANGE) {
        HWND format_box = GetDlgItem(dialog, IDC_FORMAT);
        if (classify_drive(selected_drive_letter()) == DRIVE_CLASS_FIXED) {
            SendMessageA(format_box, BM_SETCHECK, BST_UNCHECKED, 0);
            EnableWindow(format_box, FALSE);
        } else {
            EnableWindow(format_box, TRUE);
        }
    } else if (notification == CBN_DROPDOWN) {
        fill_drive_list();
    }
}

void on_command(HWND dialog, int id, int notification)
{
    switch (id) {
    case IDC_DRIVE_LIST:
        on_drive_list(dialog, notification);
        break;
    case IDC_HELP_BUTTON:
        MessageBoxA(dialog, load_res_string(IDS_ABOUT), load_res_string(IDS_CAP_HELP), MB_OK);
        break;
    case IDC_BROWSE:
        on_browse(dialog);
        break;
    case IDC_START:
        on_start(dialog);
        break;
    case IDC_EXIT:
        end_workers_before_exit();
        EndDialog(dialog, EXIT_USER_LEFT);
        break;
    default: // IDOK and IDCANCEL too: Enter and Escape do not close the dialog
        break;
    }
}

} // namespace

char selected_drive_letter()
{
    char text[TEXT_BUFFER_SIZE];
    text[0] = '\0';
    GetDlgItemTextA(main_dialog, IDC_DRIVE_LIST, text, sizeof text);
    return text[0];
}

const char* image_path_text()
{
    image_path_buf[0] = '\0';
    GetDlgItemTextA(main_dialog, IDC_IMAGE_PATH, image_path_buf, sizeof image_path_buf);
    return image_path_buf;
}

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        on_init(dialog);
        return TRUE;
    case WM_COMMAND:
        on_command(dialog, LOWORD(wparam), HIWORD(wparam));
        return TRUE;
    case WM_CLOSE:
        end_workers_before_exit();
        EndDialog(dialog, EXIT_USER_LEFT);
        return TRUE;
    default:
        return FALSE;
    }
}
