#pragma once
// The main dialog, on the user-interface thread. A run's worker reads it too as it starts
// (main_dialog, selected_drive_letter, image_path_text); its reads wait for this thread to answer.
#include <windows.h>

#include "resources/resource_ids.h"

// The open main dialog; set first thing when it opens, never cleared.
extern HWND main_dialog;

// Which control shows which string-table text.
struct control_label {
    int control;
    int string;
};
constexpr control_label MAIN_DIALOG_TEXTS[] = {
    {IDC_IMAGE_GROUP, IDS_IMAGE_GROUP},
    {IDC_IMAGE_ADVICE, IDS_IMAGE_ADVICE},
    {IDC_DRIVE_GROUP, IDS_DRIVE_GROUP},
    {IDC_DRIVE_ADVICE, IDS_DRIVE_ADVICE},
    {IDC_BROWSE, IDS_BROWSE},
    {IDC_FORMAT, IDS_FORMAT},
    {IDC_START, IDS_START},
    {IDC_EXIT, IDS_EXIT},
};

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Drive letter of the selected drive list entry, or 0 when none is selected.
char selected_drive_letter();

// The path edit's text, in a process-wide buffer that each call overwrites.
const wchar_t* image_path_text();
