#pragma once
// The entry of the Windows boot manager's menu (Vista and later) that starts
// C:\g2ldr.mbr, made with bcdedit. Called by the worker thread.
#include "install/run_steps.h"

// Adds the entry, or takes up again the one an earlier run made, last in the
// menu; then sees that the menu is shown: a time-out of 0 becomes 5. Logs both
// steps. When a step after the entry's creation fails, the entry is deleted
// again and the outcome is a failure.
step_outcome add_boot_manager_entry();
