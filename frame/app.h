#pragma once
// The module handle, the string table's texts and failed system calls. Any thread: both, and
// fail_api also on the thread that collects a child's output.
#include <windows.h>

// The module instance handle the process entry received.
extern HINSTANCE app_instance;

// Text number `id` of the string table, in one of 16 rotating slots: it stays
// intact for 16 further fetches. Ends the process (code 3) when there is none.
// Wide, so that it reads the same whatever the ANSI code page.
const wchar_t* load_res_string(int id);

// The system's message text for the calling thread's last error, as it comes
// (usually ending in "\r\n"); overwritten by every call.
const wchar_t* last_error_text();

// Message box "name (number): text" for a failed system call. The caller
// decides what follows, normally the end of the process with code 3.
void report_api_failure(const char* name);

// report_api_failure, then the end of the process with code 3.
[[noreturn]] void fail_api(const char* name);
