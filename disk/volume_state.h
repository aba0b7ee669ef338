#pragma once
// What Windows keeps about a volume's file system. Called by the worker thread.

constexpr int VOLUME_CLEAN = 0;
constexpr int VOLUME_DIRTY = 1;    // marked for a check at the next start
constexpr int VOLUME_UNKNOWN = -1; // the volume could not be asked

// Whether the file system of drive `letter` is marked as needing a check.
int volume_dirty(char letter);
