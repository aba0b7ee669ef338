#include <cstdio>
#include <cwchar>

#include "frame/app.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"

namespace {
// Written by any thread that asks for its last error's text and read by that
// caller at once; shared without a lock, as the string ring is.
wchar_t error_text[TEXT_BUFFER_SIZE];
} // namespace

const wchar_t* last_error_text()
{
    DWORD error = GetLastError();
    wchar_t* message = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    if (n != 0 && message != nullptr)
        lstrcpynW(error_text, message, TEXT_BUFFER_SIZE);
    else
        // No text for this number: still say which error it was, on a line of its own.
        compose_wide(error_text, TEXT_BUFFER_SIZE, L"Unknown error %lu.\r\n",
                     static_cast<unsigned long>(error));
    if (message != nullptr)
        LocalFree(message);
    SetLastError(error);
    return error_text;
}

void report_api_failure(const char* name)
{
    DWORD error = GetLastError();
    const wchar_t* text = last_error_text();
    wchar_t report[TEXT_BUFFER_SIZE];
    compose_wide(report, TEXT_BUFFER_SIZE, L"%hs (%lu): %s", name,
                 static_cast<unsigned long>(error), text);
    MessageBoxW(nullptr, report, L"Error", MB_OK | MB_ICONERROR);
}

void fail_api(const char* name)
{
    report_api_failure(name);
    ExitProcess(EXIT_API_FAILURE);
}
