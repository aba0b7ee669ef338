#pragma once
// The installer's way of starting 7z and syslinux, for the benches that copy
// it: a hidden console, standard output (or standard error) to a new pipe, and
// every inheritable handle passed on. Header only, as the benches are built
// one source at a time.
#include <windows.h>

inline void get_startup_info(STARTUPINFOA* startup)
{
    GetStartupInfoA(startup);
}

inline void get_startup_info(STARTUPINFOW* startup)
{
    GetStartupInfoW(startup);
}

// Fills `startup` (STARTUPINFOA or STARTUPINFOW) from the caller's own and
// makes the pipe, its write end in `startup`; false when there is no pipe.
template <typename Startup>
bool hidden_pipe_startup(Startup* startup, HANDLE* read_end, HANDLE* write_end, bool errors = false)
{
    get_startup_info(startup);
    startup->dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup->wShowWindow = SW_HIDE;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(read_end, write_end, &inheritable, 0))
        return false;
    (errors ? startup->hStdError : startup->hStdOutput) = *write_end;
    return true;
}
