#pragma once
// The installer under test, driven from a second process: started, its main
// dialog filled in with an image and a drive, Start pressed, left through Exit.
#include <string>
#include <vector>

#include "ui_driver.h"

// How long a test waits for a window, a box, a child or a process's end.
constexpr DWORD WAIT_MS = 30000;
// How long a whole run of a test image may take.
constexpr DWORD RUN_MS = 120000;

struct installer_session {
    app_process app;
    HWND main = nullptr;
    HWND progress = nullptr;

    // Starts `exe` (the installer beside this program by default), in
    // `current` (its own folder when empty), and waits for its main dialog.
    bool open(const std::string& exe = own_folder() + "kavel-setup.exe",
              const std::string& current = "");
    // Waits for the main dialog of the installer whose process is app.pi.
    bool find_main();
    // Names the image, chooses drive `letter` and ticks the format box when
    // asked; false when the drive is not offered.
    bool fill_in(const std::string& image, char letter = 'E', bool format = false);
    // Presses Start and waits for the progress dialog.
    bool press_start();
    // Waits until the run has ended (the button reads Close).
    bool run_ended(DWORD ms = RUN_MS);
    // Leaves through Exit, as a user would; true when it ended with code 0.
    bool leave();
    ~installer_session();
};

// Expected text `id` with its %-fields filled in, as the installer does.
std::string format_text(int id, ...);
// The log's label while `name` is extracted onto E:.
std::string copy_line(const std::string& name);

// Every entry of the drive list, in list order.
std::vector<std::string> drive_entries(HWND dialog);
// Index of the entry for drive `letter`, -1 when there is none.
int entry_of(const std::vector<std::string>& entries, char letter);
