#include "install/run_steps.h"

#include <cstdarg>

#include "frame/app.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"
#include "install/progress_dialog.h"
#include "install/run_worker.h"
#include "resources/resource_ids.h"

namespace {

// Ends the run after a failed step; the worker ends right after.
void abandon_run()
{
    end_run();
    stop_point();
}

} // namespace

void leave_run(step_outcome outcome, const char* listing)
{
    if (outcome.text != 0)
        log_string(outcome.text);
    if (outcome.show_listing && listing != nullptr)
        log_child_output(listing);
    switch (outcome.end) {
    case STEP_GOES_ON:
        if (stop_point())
            return; // stopped after the last check: the work is complete, the run is not
        log_string(IDS_SUCCEEDED);
        end_run();
        return;
    case STEP_FAILED:
        abandon_run();
        return;
    case STEP_STOPPED:
        if (!stop_point())
            abandon_run();
        return;
    }
}

step_outcome check_for_stop()
{
    return run_goes_on() ? STEP_DONE : step_stopped();
}

bool stop_point()
{
    if (run_goes_on())
        return false;
    log_string(IDS_INTERRUPTED);
    return true;
}

void log_string(int id)
{
    log_append(load_res_string(id));
}

void log_formatted(int id, ...)
{
    wchar_t line[TEXT_BUFFER_SIZE];
    va_list args;
    va_start(args, id);
    compose_wide_cut(line, TEXT_BUFFER_SIZE, load_res_string(id), args);
    va_end(args);
    log_append(line);
}

bool child_succeeded(unsigned long code, char* output)
{
    if (code != 0) {
        log_string(IDS_FAILED);
        log_child_output(output);
    }
    HeapFree(GetProcessHeap(), 0, output);
    return code == 0;
}

step_outcome failed_for_system_reason()
{
    DWORD error = GetLastError();
    log_string(IDS_FAILED);
    SetLastError(error);
    log_append(last_error_text());
    log_append(L"\r\n");
    return step_failed();
}

bool make_folder(const char* path)
{
    if (CreateDirectoryA(path, nullptr))
        return true;
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(path);
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    SetLastError(error);
    return false;
}

void delete_file(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}
