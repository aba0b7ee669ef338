#pragma once
// Which drives are offered as install targets. classify_drive is called by both threads (the drive
// list and the drive log; the worker's checks), walk_drive_letters by the user-interface thread.

// What a drive is as an install target.
constexpr int DRIVE_CLASS_NONE = 0;      // not offered
constexpr int DRIVE_CLASS_REMOVABLE = 2; // removable medium, or any disk on the USB bus
constexpr int DRIVE_CLASS_FIXED = 3;     // fixed disk on any other bus

// Class of drive `letter` ('A'..'Z'). Keeps no state; any failure gives 0.
int classify_drive(char letter);

// Calls visit(letter, present) for each letter from C: up to the highest
// drive in `drives`, the mask GetLogicalDrives gives (A: in bit 0): a letter
// whose own bit is clear comes too, with present false. A: and B: never come.
template <typename Visit> void walk_drive_letters(unsigned long drives, Visit visit)
{
    drives >>= 2;
    for (char letter = 'C'; drives != 0; ++letter, drives >>= 1)
        visit(letter, (drives & 1) != 0);
}
