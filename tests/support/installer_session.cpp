#include "installer_session.h"

#include <cstdarg>
#include <cstdio>

#include "expected_texts.h"
#include "resources/resource_ids.h"

bool installer_session::open(const std::string& exe, const std::string& current)
{
    return start_app(&app, exe, "", current) && find_main();
}

bool installer_session::find_main()
{
    main = wait_dialog_titled(app.pi.dwProcessId, text(IDS_MAIN_TITLE), WAIT_MS);
    return main != nullptr;
}

bool installer_session::fill_in(const std::string& image, char letter, bool format)
{
    set_control_text(main, IDC_IMAGE_PATH, image);
    int entry = entry_of(drive_entries(main), letter);
    if (entry < 0)
        return false;
    select_combo(main, IDC_DRIVE_LIST, entry);
    if (format)
        SendDlgItemMessageA(main, IDC_FORMAT, BM_SETCHECK, BST_CHECKED, 0);
    return true;
}

bool installer_session::press_start()
{
    click(main, IDC_START);
    progress = wait_dialog_titled(app.pi.dwProcessId, text(IDS_PROGRESS_TITLE), WAIT_MS);
    return progress != nullptr;
}

bool installer_session::run_ended(DWORD ms)
{
    return wait_until([&] { return control_text(progress, IDC_STOP_CLOSE) == text(IDS_CLOSE); },
                      ms);
}

bool installer_session::leave()
{
    click(main, IDC_EXIT);
    return wait_exit(&app, WAIT_MS) == 0;
}

installer_session::~installer_session()
{
    stop_app(&app);
}

std::string format_text(int id, ...)
{
    char buf[2048];
    va_list args;
    va_start(args, id);
    std::vsnprintf(buf, sizeof buf, text(id).c_str(), args);
    va_end(args);
    return buf;
}

std::string copy_line(const std::string& name)
{
    return format_text(IDS_COPYING, 'E', "kavel\\", name.c_str());
}

std::vector<std::string> drive_entries(HWND dialog)
{
    std::vector<std::string> entries;
    int n = combo_count(dialog, IDC_DRIVE_LIST);
    for (int i = 0; i < n; ++i)
        entries.push_back(combo_entry(dialog, IDC_DRIVE_LIST, i));
    return entries;
}

int entry_of(const std::vector<std::string>& entries, char letter)
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].empty() && entries[i][0] == letter)
            return static_cast<int>(i);
    return -1;
}
