#pragma once

// What a drive is as an install target.
constexpr int DRIVE_CLASS_NONE = 0;      // not offered
constexpr int DRIVE_CLASS_REMOVABLE = 2; // removable medium, or any disk on the USB bus
constexpr int DRIVE_CLASS_FIXED = 3;     // fixed disk on any other bus

// Class of drive `letter` ('A'..'Z'). Keeps no state; any failure gives 0.
int classify_drive(char letter);
