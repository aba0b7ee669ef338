#pragma once
// Reading the listing that "7z l" prints (lines ending in CR LF). The text is
// parsed in place: NUL bytes are written into it and a cursor walks through it.
// Two shapes are understood. The classic one has an empty attribute column and
// a summary "... N files, M folders". The one current 7-Zip prints has the
// attribute column "....." on every file line ("D...." on folders, never
// taken) and a summary "... N files" with ", M folders" only when M is not 0.
// Wherever the classic shape matches it alone is used. Called by the worker
// thread.
#include <cstdint>

// listing_check_files: refused, a name would change the extraction's command
// line or target path.
constexpr int LISTING_UNSAFE_NAME = -1;
// A pattern could not be compiled (only when memory runs out).
constexpr int LISTING_NO_PATTERN = -2;

// listing_next_file, as the partition walk and every other call here: 0 for
// a result (a file line taken), 1 for none.
constexpr int LISTING_FILE = 0;
constexpr int LISTING_END = 1;

// Finds the summary line, writes a NUL over the character after its total
// size, a blank in both shapes (so the file lines before it stay whole and
// the rest is cut off; putting the blank back restores the text), and
// stores that size in `total`. Returns 0; 1 when the text holds no summary of
// either shape, or LISTING_NO_PATTERN (the text and `total` then stay as they
// were).
int listing_read_total(char* text, int64_t* total);

// Looks at every file line of a text cut by listing_read_total without
// changing it. Returns the number of files, 0 when no line is accepted,
// LISTING_UNSAFE_NAME when a name holds a double quote, a control character,
// '\\', '/', ':', '*' or '?', or begins with '-' or '@' (7-Zip would read it as
// a switch or a list file), or LISTING_NO_PATTERN.
int listing_check_files(const char* text);

constexpr int LISTING_SHAPE_CLASSIC = 0;
constexpr int LISTING_SHAPE_CURRENT = 1;

struct listing_cursor {
    char* next; // where the search for the next file line starts
    int shape;  // LISTING_SHAPE_*, chosen once for the whole listing
};

// Puts the cursor at the start of `text` (cut by listing_read_total) and
// chooses the shape of its file lines.
void listing_begin(listing_cursor* cursor, char* text);

// Takes the next file line: NULs over the character after the size and over
// the CR that ends the name, the cursor past the LF that follows. Returns
// LISTING_FILE with the listed size and the name (pointing into the text),
// LISTING_END when there is no further file line, LISTING_UNSAFE_NAME (the
// line is not taken) or LISTING_NO_PATTERN.
int listing_next_file(listing_cursor* cursor, int64_t* size, const char** name);
