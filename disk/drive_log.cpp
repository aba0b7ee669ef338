#include "disk/drive_log.h"

// Stand-in until the raw disk layer exists: no log is written yet.
void write_drive_log() {}
