#pragma once
// The installer under test, started from the folder it was built into, and
// what its drive list shows.
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui_driver.h"

constexpr DWORD WAIT_MS = 15000;

struct installer_session {
    app_process app;
    HWND dialog = nullptr;
    // Starts the installer and waits for its main dialog.
    bool open();
    // Leaves through Exit, as a user would; true when it ended with code 0.
    bool leave();
    ~installer_session();
};

// Every entry of the drive list, in list order.
std::vector<std::string> drive_entries(HWND dialog);
// Index of the entry for drive `letter`, -1 when there is none.
int entry_of(const std::vector<std::string>& entries, char letter);
