#pragma once
// Reading every extracted file back from the target, past the system's cache,
// against its content in the image: a drive that loses or wraps what was
// written to it is caught at install time instead of at boot. Called by the
// worker thread once the last file is extracted, so that a drive that wraps
// overwrites an earlier file before it is read.
#include <cstdint>

#include "install/run_steps.h"

struct extracted_file {
    const char* name;
    int64_t size;
};

// Reads back the `count` files of `files`, each in X:\kavel\ of drive `letter`
// and in `image`, with the bar moving from where the extraction of `total`
// bytes left it up to 90. Each file has a log line of its own; a difference,
// a short file or a read error ends the run with a warning about the drive.
step_outcome read_back_files(char letter, const char* image, const extracted_file* files,
                             std::size_t count, int64_t total);
