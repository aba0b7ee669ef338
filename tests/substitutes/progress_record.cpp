// In place of the progress dialog's reporting: the log and the bar are
// recorded, and the run goes on as long as the test lets it.
#include "install/progress_dialog.h"
#include "tests/substitutes/recorded_run.h"

std::string run_log;
std::vector<int> bar_positions;
int end_run_calls;
int checks_left;

void log_append(const char* text)
{
    run_log += text;
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
