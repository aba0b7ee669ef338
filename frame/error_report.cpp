#include <cstdio>
#include <cstring>

#include "frame/app.h"
#include "frame/exit_codes.h"

namespace {
char error_text[TEXT_BUFFER_SIZE];
}

const char* last_error_text()
{
    DWORD error = GetLastError();
    char* message = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (n != 0 && message != nullptr) {
        std::size_t len = std::strlen(message);
        if (len > sizeof error_text - 1)
            len = sizeof error_text - 1;
        std::memcpy(error_text, message, len);
        error_text[len] = '\0';
    } else {
        // No text for this number: still say which error it was, on a line of its own.
        std::snprintf(error_text, sizeof error_text, "Unknown error %lu.\r\n",
                      static_cast<unsigned long>(error));
    }
    if (message != nullptr)
        LocalFree(message);
    SetLastError(error);
    return error_text;
}

void report_api_failure(const char* name)
{
    DWORD error = GetLastError();
    const char* text = last_error_text();
    char report[TEXT_BUFFER_SIZE];
    std::snprintf(report, sizeof report, "%s (%lu): %s", name, static_cast<unsigned long>(error),
                  text);
    MessageBoxA(nullptr, report, "Error", MB_OK | MB_ICONERROR);
}

void fail_api(const char* name)
{
    report_api_failure(name);
    ExitProcess(EXIT_API_FAILURE);
}
