#pragma once
// The arithmetic of the free space and of the bar. Called by the worker thread
// (the bar's positions also by the progress dialog, on the user-interface one).
#include <cstdint>

// Free space a run needs for `total` bytes (0 or more), in whole MiB: the
// total plus one, the remainder dropped.
int64_t space_need_mib(int64_t total);

// Whether `free_bytes` holds the need of space_need_mib, counted in bytes.
bool space_is_enough(uint64_t free_bytes, int64_t total);

// The total in whole MiB as the shortage message shows it (without the added
// one), held to the int range so that it can be given to "%d".
int space_message_mib(int64_t total);

// Where the bar stands when a stage is over. The image's files, which take
// nearly all of a run's time, move it to 90 (60 of that for writing them, the
// rest for reading them back); the boot loader's files take it to 95 and the
// step that makes the drive start to 100, a short last stretch that still
// shows the run is not yet complete.
constexpr int BAR_FILES_WRITTEN = 60;
constexpr int BAR_FILES_IN_PLACE = 90;
constexpr int BAR_LOADER_FILES = 95;
constexpr int BAR_COMPLETE = 100;

// extraction_bar_position's answer when there is no total to measure against.
constexpr int BAR_UNCHANGED = -1;

// Where the bar stands while a file is extracted: `current` bytes written of
// it after `done` bytes of completed files, of `total` (all 0 or more):
// ((current + done) * 90) / total, truncated toward zero, exact for any sizes;
// values past 100 are given as 100, where the bar's range stops them anyway.
// BAR_UNCHANGED when `total` is 0.
int extraction_bar_position(int64_t current, int64_t done, int64_t total);

// Where the bar stands in a run that extracts `total` bytes and then reads
// them all back: `extracted` and `verified` bytes so far (each 0 to total).
// Writing a byte takes about twice as long as reading it back from the
// drive and from the image, so the extraction moves the bar to 60 and the
// read-back on to 90. BAR_UNCHANGED when `total` is 0.
int run_bar_position(int64_t extracted, int64_t verified, int64_t total);
