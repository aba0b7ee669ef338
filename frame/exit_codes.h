#pragma once
// The exit codes and the size of every text buffer, used on both threads.

// How the process ends.
constexpr int EXIT_USER_LEFT = 0;     // the user left the main dialog
constexpr int EXIT_OUT_OF_MEMORY = 2; // no heap for a child's output
constexpr int EXIT_API_FAILURE = 3;   // after the failure box of a call we cannot do without
constexpr int EXIT_NO_DIALOG = -1;    // the main dialog could not be created

// Every composed command line, path and message fits in this many bytes,
// terminator included.
constexpr int TEXT_BUFFER_SIZE = 1024;
