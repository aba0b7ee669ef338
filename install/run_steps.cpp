#include "install/run_steps.h"

#include "frame/app.h"
#include "install/progress_dialog.h"

bool stop_point()
{
    if (run_goes_on())
        return false;
    log_string(38);
    return true;
}

void abandon_run()
{
    end_run();
    stop_point();
}

void log_string(int id)
{
    log_append(load_res_string(id));
}
