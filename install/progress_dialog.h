#pragma once
// The progress dialog of a run: its window, the log and the bar it shows, and
// the worker's ways to report into it. The dialog runs on the user-interface
// thread; the worker reports from its own thread through window messages.
#include <windows.h>

#include <atomic>

// 1 while a run is in progress and not stopped. Written by the user-interface
// thread (1 when the dialog opens, 0 on Stop and close) and by the worker (0
// when its run ends); read by both.
extern std::atomic<int> run_active;

// The progress dialog of the current run; set by the user-interface thread
// when it opens, read by the worker to address its reports.
extern HWND progress_dialog;

INT_PTR CALLBACK progress_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Places the log, the bar and the button for a client area of this size.
void layout_progress_dialog(int width, int height);

// The worker's only ways to report. A worker whose run is no longer the
// current one (its dialog was closed) reports nowhere.
void log_append(const wchar_t* text);
// Logs what a console child printed, read in the OEM code page.
void log_child_output(const char* text);
void set_progress(int position);
void end_run();
