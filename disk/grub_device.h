#pragma once

// The partition behind drive `letter` in GRUB notation, "(hdN,M)", in a
// process-wide buffer that stays valid until the next call; null when it
// cannot be named (a volume that cannot be opened also shows the failure box
// for "CreateFile"). Called by the worker thread, while it sets up booting.
const char* grub_device_of_drive(char letter);
