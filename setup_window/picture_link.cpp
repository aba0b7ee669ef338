#include "setup_window/picture_link.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

#include "frame/app.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

namespace {

// The picture's state; only the user-interface thread touches it.
struct picture_state {
    WNDPROC previous; // the control's own procedure
    bool tracking;    // a leave notice has been asked for since the mouse last left
    bool hot;         // the picture shows its hot image and the hand cursor is set
} picture;

const wchar_t PROJECT_PAGE[] = L"https://kavel-linux.org/";

// IDC_HAND and IDC_ARROW, as the wide call takes them.
const LPCWSTR HAND_CURSOR = MAKEINTRESOURCEW(32649);
const LPCWSTR ARROW_CURSOR = MAKEINTRESOURCEW(32512);

// Gives the picture a new bitmap and releases the one it replaces, so that
// hovering any number of times uses no graphics handles up.
void show_bitmap(int bitmap_id)
{
    HBITMAP bitmap = LoadBitmapW(app_instance, MAKEINTRESOURCEW(bitmap_id));
    HGDIOBJ old = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(
        main_dialog, IDC_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (old != nullptr && old != bitmap)
        DeleteObject(old);
}

// Releases a COM interface when it goes out of scope.
template <typename T> struct held {
    T* p = nullptr;
    ~held()
    {
        if (p != nullptr)
            p->Release();
    }
};

// The shell of the user's desktop, which runs with the user's own rights and
// not the installer's, as its scripting object: the desktop window's view,
// its folder view, that view's application.
bool desktop_shell(IShellDispatch2** shell)
{
    held<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(&windows.p))))
        return false;
    VARIANT none;
    VariantInit(&none);
    long window = 0;
    held<IDispatch> desktop;
    if (windows.p->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                &desktop.p) != S_OK)
        return false;
    held<IServiceProvider> services;
    held<IShellBrowser> browser;
    held<IShellView> view;
    held<IDispatch> background;
    held<IShellFolderViewDual> folder_view;
    held<IDispatch> application;
    return SUCCEEDED(desktop.p->QueryInterface(IID_IServiceProvider,
                                               reinterpret_cast<void**>(&services.p))) &&
           SUCCEEDED(services.p->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                              reinterpret_cast<void**>(&browser.p))) &&
           SUCCEEDED(browser.p->QueryActiveShellView(&view.p)) &&
           SUCCEEDED(view.p->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                           reinterpret_cast<void**>(&background.p))) &&
           SUCCEEDED(background.p->QueryInterface(IID_IShellFolderViewDual,
                                                  reinterpret_cast<void**>(&folder_view.p))) &&
           SUCCEEDED(folder_view.p->get_Application(&application.p)) &&
           SUCCEEDED(
               application.p->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell)));
}

// Opens the project's page through the desktop's shell, so that a browser
// started for it gets the user's rights, never the installer's
// administrator ones. Where that shell cannot be asked, nothing is opened.
void open_project_page()
{
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellDispatch2* shell = nullptr;
    if (desktop_shell(&shell)) {
        BSTR page = SysAllocString(PROJECT_PAGE);
        VARIANT none;
        VariantInit(&none);
        VARIANT show;
        VariantInit(&show);
        show.vt = VT_I4;
        show.lVal = SW_SHOWNORMAL;
        shell->ShellExecute(page, none, none, none, show);
        SysFreeString(page);
        shell->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}

LRESULT CALLBACK picture_link_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_SETCURSOR:
        return TRUE; // the cursor stays what the picture set
    case WM_MOUSEMOVE:
        if (!picture.tracking) {
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = window;
            track.dwHoverTime = HOVER_DEFAULT;
            TrackMouseEvent(&track);
            picture.tracking = true;
        }
        if (!picture.hot) {
            SetCursor(LoadCursorW(nullptr, HAND_CURSOR));
            show_bitmap(IDB_PICTURE_HOT);
            picture.hot = true;
        }
        break;
    case WM_LBUTTONDOWN:
        open_project_page();
        break;
    case WM_MOUSELEAVE:
        SetCursor(LoadCursorW(nullptr, ARROW_CURSOR));
        show_bitmap(IDB_PICTURE);
        picture.tracking = false;
        picture.hot = false;
        break;
    default:
        break;
    }
    return CallWindowProcW(picture.previous, window, message, wparam, lparam);
}

} // namespace

void link_picture(HWND control)
{
    LONG previous = SetWindowLongW(control, GWL_WNDPROC, reinterpret_cast<LONG>(picture_link_proc));
    if (previous == 0)
        fail_api("SetWindowLong");
    picture.previous = reinterpret_cast<WNDPROC>(previous);
}
