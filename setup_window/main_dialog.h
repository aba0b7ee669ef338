#pragma once
#include <windows.h>

// The open main dialog; set first thing when it opens, never cleared.
extern HWND main_dialog;

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Drive letter of the selected drive list entry, or 0 when none is selected.
char selected_drive_letter();

// The path edit's text, in a process-wide buffer that each call overwrites.
const wchar_t* image_path_text();
