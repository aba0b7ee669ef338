#pragma once
// The boot loader's set-up after the files are in place: syslinux on a
// removable drive, a Windows boot menu entry on a fixed one. Called by the
// worker thread.
#include "install/run_steps.h"

// The last steps of a run whose files are all on drive `letter`: makes it
// bootable. Their outcome goes to leave_run, which logs the run's last line.
step_outcome boot_setup(char letter);
