#pragma once
// Whether a path names a file. Any thread.

// Whether `path` names a file, not a folder.
bool is_plain_file(const wchar_t* path);
// The same for a path in the ANSI code page.
bool is_plain_file(const char* path);
