#pragma once
// Reading every extracted file back from the target, past the system's cache,
// against its content in the image: a drive that loses or wraps what was
// written to it is caught at install time instead of at boot. Called by the
// worker thread once the last file is extracted, so that a drive that wraps
// overwrites an earlier file before it is read.
#include <cstdint>

#include "install/run_steps.h"

#include <windows.h>

#include "child/child_programs.h"

struct extracted_file {
    const char* name;
    int64_t size;
};

// 7-Zip's test of the image's files, which sums their CRC-32s. It only reads
// the image, so it runs on the other core while the files are extracted.
struct image_test {
    bool running;
    child_run child; // collects what the test prints
};

// Starts the test of the files that the listing of `image` named.
void start_image_test(image_test* test, const wchar_t* image);

// Ends a test that is still running, and waits for its end.
void end_image_test(image_test* test);

// Reads back the `count` files of `files`, each in X:\kavel\ of drive `letter`,
// past the system's cache, and compares them with what `test` found in
// `image`; the test is ended afterwards. The bar moves from where the
// extraction of `total` bytes left it up to 90. A difference, a short file or
// a read error ends the run, naming the file, with a warning about the drive.
step_outcome read_back_files(char letter, const wchar_t* image, image_test* test,
                             const extracted_file* files, std::size_t count, int64_t total);
