#include "install/progress_dialog.h"

#include "frame/app.h"
#include "resources/resource_ids.h"

std::atomic<int> run_active{0};
HWND progress_dialog;

// Stand-in until the installation run exists: the dialog opens with its
// texts and closes again; no worker is started.
INT_PTR CALLBACK progress_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        progress_dialog = dialog;
        SetWindowTextA(dialog, load_res_string(14));
        SetDlgItemTextA(dialog, IDC_STOP_CLOSE, load_res_string(16));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_STOP_CLOSE)
            EndDialog(dialog, 1);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void log_append(const char*) {}
void set_progress(int) {}
void end_run()
{
    run_active = 0;
}
