#pragma once
// The install sequence of one run, from the format to the boot loader. Runs
// on the worker thread.
#include <windows.h>

// One installation run, on a thread of its own: format, image check,
// file-system check, free space, extraction, then the boot loader.
// Ignores its parameter; returns 0.
DWORD WINAPI install_worker(void* parameter);
