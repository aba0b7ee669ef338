#pragma once

// The end of a run whose files are all on drive `letter`: makes it bootable
// and logs the run's last lines.
void boot_setup(char letter);
