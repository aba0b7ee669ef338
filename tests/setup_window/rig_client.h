#pragma once
// The Windows side of pointer_rig.py: real pointer moves and presses on the
// X display, the shape of the X cursor, and the addresses handed to the
// desktop's opener. Every wait pumps this thread's messages, so that windows
// of the test program itself keep answering.
#include <windows.h>

#include <string>
#include <vector>

#include "ui_driver.h"

// Whether the program runs under the rig (KAVEL_PICTURE_RIG is set).
bool rig_present();
// Sends one request and waits for its answer; "error ..." when there is none.
std::string rig_request(const std::string& command);
// The answer to the last request, to name what went wrong when one failed.
std::string rig_last_answer();

bool pointer_to(int x, int y);
bool button_down();
bool button_up();
// "W H XHOT YHOT DIGEST" of the cursor the display shows now.
std::string cursor_shape();

// Every address opened so far, one entry per call of the opener.
std::vector<std::string> opened_pages();
// For each page opened, who asked the desktop for it: "desktop" when its
// shell did, "program" when a program did itself.
std::vector<std::string> opened_by();

// Processes this thread's messages for `ms`.
void pump_for(DWORD ms);
inline void pump_a_little()
{
    pump_for(20);
}
// Waits, pumping messages, until `condition` holds or `ms` passed.
template <typename F> bool pump_until(F condition, DWORD ms)
{
    return wait_until(condition, ms, pump_a_little);
}
