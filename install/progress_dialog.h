#pragma once
#include <windows.h>

#include <atomic>

// 1 while a run is in progress and not stopped. Both threads read and write it.
extern std::atomic<int> run_active;

// The progress dialog of the current run; set when it opens.
extern HWND progress_dialog;

INT_PTR CALLBACK progress_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The worker's only ways to report.
void log_append(const char* text);
void set_progress(int position);
void end_run();
