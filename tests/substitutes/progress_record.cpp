// In place of the progress dialog's reporting: the log and the bar are
// recorded, and the run goes on as long as the test lets it.
#include "frame/exit_codes.h"
#include "install/progress_dialog.h"
#include "install/run_worker.h"
#include "tests/substitutes/recorded_run.h"

std::string run_log;
std::vector<int> bar_positions;
int end_run_calls;
int checks_left;

// The log as the tests read it from the dialog: code page 936 bytes.
void log_append(const wchar_t* text)
{
    char bytes[4 * TEXT_BUFFER_SIZE];
    if (WideCharToMultiByte(936, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr) != 0)
        run_log += bytes;
}
void log_child_output(const char* text)
{
    run_log += text; // the children of these tests print code page 936 or ASCII
}
void set_progress(int position)
{
    bar_positions.push_back(position);
}
void end_run()
{
    ++end_run_calls;
    checks_left = 0;
}
bool run_goes_on()
{
    if (checks_left <= 0)
        return false;
    --checks_left;
    return true;
}
