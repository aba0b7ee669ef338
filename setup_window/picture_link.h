#pragma once
// The main dialog's picture as a link. Called by the user-interface thread only.
#include <windows.h>

// Makes the picture control a link to the project's web page: its hot image
// and a hand under the mouse, the page on a press. Ends the process with
// code 3 after the failure box when the control cannot be subclassed.
void link_picture(HWND picture);
