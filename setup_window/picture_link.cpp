#include "setup_window/picture_link.h"

#include <shellapi.h>

#include "frame/app.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

WNDPROC picture_prev_proc;

namespace {

int mouse_tracking; // a leave notice has been asked for since the mouse last left
int picture_hot;    // the picture shows its hot image and the hand cursor is set

const char PROJECT_PAGE[] = "https://kavel-linux.org/";

// Gives the picture a new bitmap and releases the one it replaces, so that
// hovering any number of times uses no graphics handles up.
void show_bitmap(int bitmap_id)
{
    HBITMAP bitmap = LoadBitmapA(app_instance, MAKEINTRESOURCEA(bitmap_id));
    HGDIOBJ old = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(
        main_dialog, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (old != nullptr && old != bitmap)
        DeleteObject(old);
}

} // namespace

LRESULT CALLBACK picture_link_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_SETCURSOR:
        return TRUE; // the cursor stays what the picture set
    case WM_MOUSEMOVE:
        if (!mouse_tracking) {
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = window;
            track.dwHoverTime = HOVER_DEFAULT;
            TrackMouseEvent(&track);
            mouse_tracking = 1;
        }
        if (!picture_hot) {
            SetCursor(LoadCursorA(nullptr, IDC_HAND));
            show_bitmap(IDB_PICTURE_HOT);
            picture_hot = 1;
        }
        break;
    case WM_LBUTTONDOWN:
        ShellExecuteA(window, "open", PROJECT_PAGE, nullptr, nullptr, SW_SHOWNORMAL);
        break;
    case WM_MOUSELEAVE:
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        show_bitmap(IDB_PICTURE);
        mouse_tracking = 0;
        picture_hot = 0;
        break;
    default:
        break;
    }
    return CallWindowProcA(picture_prev_proc, window, message, wparam, lparam);
}
