#pragma once
#include <windows.h>

// The picture control's procedure before it was subclassed.
extern WNDPROC picture_prev_proc;

// Subclass procedure of the picture: a link to the project's web page.
LRESULT CALLBACK picture_link_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
