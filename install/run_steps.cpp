#include "install/run_steps.h"

#include "frame/app.h"
#include "install/progress_dialog.h"
#include "resources/resource_ids.h"

bool stop_point()
{
    if (run_goes_on())
        return false;
    log_string(IDS_INTERRUPTED);
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
