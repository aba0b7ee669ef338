#include "setup_window/main_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "disk/drive_class.h"
#include "disk/drive_log.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"
#include "install/progress_dialog.h"
#include "install/run_worker.h"
#include "resources/resource_ids.h"
#include "resources/text_conversions.h"
#include "setup_window/drive_list.h"
#include "setup_window/picture_link.h"

// Set by the user-interface thread when the dialog opens; read by the worker
// to reach the dialog's controls.
HWND main_dialog;

namespace {

// Written by whichever thread calls image_path_text, and read by it at once:
// the user-interface thread on Start, the worker when its run begins.
wchar_t image_path_buf[TEXT_BUFFER_SIZE];

constexpr DWORD OPEN_FILE_FLAGS = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;

// A path that is a folder, a system file, offline, or not there at all.
constexpr DWORD UNUSABLE_PATH_BITS =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE;

bool is_high_surrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

using init_common_controls_fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// comctl32 is not one of the DLLs Windows always takes from its system folder:
// imported by name, a copy beside the program would be loaded. So it is loaded
// here by its full path in the system folder, once, and kept, since the
// progress bar's class lives in it. A failure shows as a progress dialog that
// cannot be made, as when the class cannot be registered.
void register_progress_bar_class()
{
    wchar_t path[MAX_PATH];
    const wchar_t name[] = L"\\comctl32.dll";
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n + sizeof name / sizeof name[0] > MAX_PATH)
        return;
    lstrcatW(path, name);
    HMODULE controls_dll = GetModuleHandleW(path);
    if (controls_dll == nullptr)
        controls_dll = LoadLibraryW(path);
    if (controls_dll == nullptr)
        return;
    auto init = reinterpret_cast<init_common_controls_fn>(
        reinterpret_cast<void*>(GetProcAddress(controls_dll, "InitCommonControlsEx")));
    if (init == nullptr)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    init(&controls);
}

void show_error(HWND dialog, const wchar_t* text, int focus_id)
{
    MessageBoxW(dialog, text, load_res_string(IDS_CAP_ERROR), MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(dialog, focus_id));
}

void on_init(HWND dialog)
{
    main_dialog = dialog;
    write_drive_log();

    link_picture(GetDlgItem(dialog, IDC_PICTURE));

    SetClassLongW(dialog, GCL_HICON,
                  reinterpret_cast<LONG>(LoadIconW(app_instance, MAKEINTRESOURCEW(IDI_DIALOG))));
    HANDLE help_icon =
        LoadImageW(app_instance, MAKEINTRESOURCEW(IDI_HELP), IMAGE_ICON, 20, 20, LR_DEFAULTCOLOR);
    SendDlgItemMessageW(dialog, IDC_HELP_BUTTON, BM_SETIMAGE, IMAGE_ICON,
                        reinterpret_cast<LPARAM>(help_icon));
    HBITMAP picture = LoadBitmapW(app_instance, MAKEINTRESOURCEW(IDB_PICTURE));
    SendDlgItemMessageW(dialog, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(picture));

    SetWindowTextW(dialog, load_res_string(IDS_MAIN_TITLE));
    for (const control_label& t : MAIN_DIALOG_TEXTS)
        SetDlgItemTextW(dialog, t.control, load_res_string(t.string));

    SetFocus(GetDlgItem(dialog, IDC_IMAGE_PATH));
    fill_drive_list();
}

void on_browse(HWND dialog)
{
    wchar_t file[TEXT_BUFFER_SIZE] = L"";
    OPENFILENAMEW ofn;
    std::memset(&ofn, 0, sizeof ofn);
    // The structure as the first NT versions knew it.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter = L"ISO Images\0*.iso\0All\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = TEXT_BUFFER_SIZE;
    ofn.Flags = OPEN_FILE_FLAGS;
    if (GetOpenFileNameW(&ofn) == 1)
        SetDlgItemTextW(dialog, IDC_IMAGE_PATH, file);
}

// A drive letter that does not exist here: most often a network drive the
// user mapped, which a program run as administrator does not see. Said after
// `message`, in `size` characters.
void explain_missing_drive(const wchar_t* path, wchar_t* message, std::size_t size)
{
    wchar_t root[4] = {path[0], L':', L'\\', L'\0'};
    bool letter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    if (!letter || path[1] != L':' || GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR)
        return;
    std::size_t used = lstrlenW(message);
    compose_wide(message + used, size - used, L"\r\n\r\n");
    used = lstrlenW(message);
    static_assert(text_takes<IDS_DRIVE_NOT_VISIBLE, wchar_t>());
    compose_wide(message + used, size - used, load_res_string(IDS_DRIVE_NOT_VISIBLE),
                 static_cast<wchar_t>(path[0] & ~0x20));
}

void on_start(HWND dialog)
{
    const wchar_t* path = image_path_text();
    if (path[0] == L'\0') {
        show_error(dialog, load_res_string(IDS_NO_IMAGE), IDC_IMAGE_PATH);
        return;
    }
    if (GetFileAttributesW(path) & UNUSABLE_PATH_BITS) {
        wchar_t message[2 * TEXT_BUFFER_SIZE];
        static_assert(text_takes<IDS_NOT_AN_IMAGE, const wchar_t*>());
        format_with_path(message, TEXT_BUFFER_SIZE, load_res_string(IDS_NOT_AN_IMAGE), path,
                         is_high_surrogate);
        explain_missing_drive(path, message, 2 * TEXT_BUFFER_SIZE);
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
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), dialog,
                    progress_dialog_proc, 0);
}

void on_drive_list(HWND dialog, int notification)
{
    if (notification == CBN_SELCHANGE) {
        HWND format_box = GetDlgItem(dialog, IDC_FORMAT);
        if (classify_drive(selected_drive_letter()) == DRIVE_CLASS_FIXED) {
            SendMessageW(format_box, BM_SETCHECK, BST_UNCHECKED, 0);
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
        MessageBoxW(dialog, load_res_string(IDS_ABOUT), load_res_string(IDS_CAP_HELP), MB_OK);
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
    wchar_t text[TEXT_BUFFER_SIZE];
    text[0] = L'\0';
    GetDlgItemTextW(main_dialog, IDC_DRIVE_LIST, text, TEXT_BUFFER_SIZE);
    // The entries begin with an ASCII drive letter.
    return text[0] < 0x80 ? static_cast<char>(text[0]) : 0;
}

const wchar_t* image_path_text()
{
    image_path_buf[0] = L'\0';
    GetDlgItemTextW(main_dialog, IDC_IMAGE_PATH, image_path_buf, TEXT_BUFFER_SIZE);
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
