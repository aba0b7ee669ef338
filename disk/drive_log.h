#pragma once

// Writes c:\tovkast_drive.log: the system's view of every offered drive and
// the partition walk's view of disks 0 to 9. Never shows a message.
// Called by the user-interface thread when the main dialog opens.
void write_drive_log();
