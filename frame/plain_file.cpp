#include "frame/plain_file.h"

#include <windows.h>

#include "frame/wide_text.h"

bool is_plain_file(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_plain_file(const char* path)
{
    wchar_t wide[TEXT_BUFFER_SIZE];
    return widen(path, CP_ACP, wide, TEXT_BUFFER_SIZE) && is_plain_file(wide);
}
