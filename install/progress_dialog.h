#pragma once
#include <windows.h>

#include <atomic>

// 1 while a run is in progress and not stopped. Both threads read and write it.
extern std::atomic<int> run_active;

// The progress dialog of the current run; set when it opens.
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

// Whether the calling worker's run goes on: run_active is set and no newer
// run has begun since the worker started.
bool run_goes_on();

// Before the process ends: ends the run's read-only child and waits, up to a
// bound, for the last worker to reach its next check and end there, so that
// no extraction child is left writing and no boot-file edit is cut off.
void end_workers_before_exit();
