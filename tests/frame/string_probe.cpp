// Test-only program: fetches the string whose number is its command line and
// shows it, so a test can watch what a missing string does to the process.
// With "ring" it ends with the slot of its first fetch instead.
#include <cstdlib>
#include <cstring>

#include "frame/app.h"
#include "resources/resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int)
{
    app_instance = instance;
    if (std::strcmp(command_line, "ring") == 0) {
        const wchar_t* first = load_res_string(IDS_MAIN_TITLE);
        const wchar_t* slot0 = first;
        for (int i = 0; i < 15; ++i)
            slot0 = load_res_string(IDS_IMAGE_GROUP);
        return static_cast<int>((first - slot0) / 1024);
    }
    const wchar_t* text = load_res_string(std::atoi(command_line));
    MessageBoxW(nullptr, text, L"string probe", MB_OK);
    return 0;
}
