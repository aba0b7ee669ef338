#include "frame/app.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

using set_default_dll_directories_fn = BOOL(WINAPI*)(DWORD);
using set_dll_directory_fn = BOOL(WINAPI*)(LPCWSTR);

// The program runs as administrator, often from a Downloads folder: a DLL
// loaded later comes from the system folder only, never from beside the
// program or the current folder. Both calls are looked up, since older
// systems lack one or both. And a drive without its medium (an empty card
// reader slot) answers with an error, never with a system message box.
void guard_process()
{
    SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set_default = reinterpret_cast<set_default_dll_directories_fn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default != nullptr)
        set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto set_directory = reinterpret_cast<set_dll_directory_fn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    if (set_directory != nullptr)
        set_directory(L"");
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    guard_process();
    app_instance = instance;
    // The dialog's result is the exit code: 0 when the user leaves, -1 when it
    // cannot be created.
    return static_cast<int>(
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, main_dialog_proc, 0));
}
