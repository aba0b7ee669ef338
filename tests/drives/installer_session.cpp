#include "installer_session.h"

#include "expected_texts.h"
#include "resources/resource_ids.h"

bool installer_session::open()
{
    if (!start_app(&app, own_folder() + "kavel-setup.exe"))
        return false;
    dialog = wait_dialog_titled(app.pi.dwProcessId, cp936(expected_text(IDS_MAIN_TITLE)), WAIT_MS);
    return dialog != nullptr;
}

bool installer_session::leave()
{
    click(dialog, IDC_EXIT);
    return wait_exit(&app, WAIT_MS) == 0;
}

installer_session::~installer_session()
{
    stop_app(&app);
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
