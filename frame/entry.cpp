#include "frame/app.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    app_instance = instance;
    // The dialog's result is the exit code: 0 when the user leaves, -1 when it
    // cannot be created.
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_dialog_proc, 0));
}
