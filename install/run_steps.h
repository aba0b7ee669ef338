#pragma once
// How the steps of a run end, and how they log. Called by the worker thread.
#include "resources/text_conversions.h"

// How a step ends.
enum step_end {
    STEP_GOES_ON, // the next step follows; after the last one the work is complete
    STEP_FAILED,  // the run is abandoned
    STEP_STOPPED, // the run was stopped: at a check, or by ending the step's child
};

// A step's outcome. `text` is the string logged first on the way out, 0 when
// the step has logged its outcome itself; `show_listing` puts the image's
// listing after it.
struct step_outcome {
    step_end end;
    int text;
    bool show_listing;
};

constexpr step_outcome STEP_DONE = {STEP_GOES_ON, 0, false};

constexpr step_outcome step_failed(int text = 0, bool show_listing = false)
{
    return {STEP_FAILED, text, show_listing};
}

constexpr step_outcome step_stopped(int text = 0)
{
    return {STEP_STOPPED, text, false};
}

// The end of every run, whatever its last step: logs the outcome's text and
// then, when it is to be shown, `listing` (may be null). A complete run logs
// "安装成功！" and ends, or "安装中断！" when it was stopped after its last
// check. A failed one is ended and logs "安装中断！". A stopped one logs
// "安装中断！" too; should it still go on (its child ended early without a
// stop), it is ended first.
void leave_run(step_outcome outcome, const char* listing);

// The check between two steps: the run goes on, or it has been stopped.
step_outcome check_for_stop();

// A stop point: when the run has been stopped, logs "安装中断！" and gives
// true, and the worker ends.
bool stop_point();

// Logs the text of string `id`.
void log_string(int id);

// Logs the text of string `id` formatted with the platform's wide printf
// rules: %s takes a wide text, %c a character. A line that would not fit is
// cut, which loses nothing but text. Callers use log_text below.
void log_formatted(int id, ...);

// log_formatted for text ID, whose conversions the arguments must fit.
template <int ID, typename... Args> void log_text(Args... args)
{
    static_assert(text_takes<ID, Args...>(), "arguments that do not fit the text's conversions");
    log_formatted(ID, args...);
}

// Logs the outcome of a child that has ended with `code`: nothing when it
// is 0, else "失败\r\n" and `output`. Frees `output`; true when `code` is 0.
bool child_succeeded(unsigned long code, char* output);

// A step that failed for the reason the thread's last system error gives:
// logs "失败", the system's text and a line end; the run ends.
step_outcome failed_for_system_reason();

// Deletes the file at `path`, also when it is read-only, hidden or system.
void delete_file(const char* path);

// Creates folder `path` unless it is there already; on failure the thread's
// last error says why.
bool make_folder(const char* path);
