#pragma once
#include "install/run_steps.h"

// The last steps of a run whose files are all on drive `letter`: makes it
// bootable. Their outcome goes to leave_run, which logs the run's last line.
step_outcome boot_setup(char letter);
