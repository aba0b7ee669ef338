#pragma once
// One entry of the Windows boot store, made with bcdedit and remembered by
// its identifier in a small file, so that a second run takes up its own entry
// and no one else's. Called by the worker thread.
#include <cstddef>

#include "install/bcd_text.h"
#include "install/run_steps.h"

// An entry to make: how bcdedit creates it, and the steps that complete it,
// each a bcdedit argument list with one "%s" for the entry's identifier.
struct bcd_entry {
    const char* create;
    const char* const* steps;
    std::size_t step_count;
    const char* id_path; // where its identifier is kept
};

// Creates the entry, or takes up the one whose identifier `entry->id_path`
// holds while the store still has it, and runs its steps. On success `id`
// holds its identifier and `*created` whether this run made it; a failed
// step logs "失败" and bcdedit's words, and an entry this run made is
// deleted again.
step_outcome add_bcd_entry(const bcd_entry* entry, char* id, bool* created);

// Runs "bcdedit `format`" with `id` in place of its "%s"; a failure logs
// "失败" and what bcdedit printed.
bool bcdedit_step(const char* format, const char* id);

// Deletes the entry `id` and the file that remembers it; says so in the log
// when the store keeps the entry.
void delete_bcd_entry(const bcd_entry* entry, const char* id);
