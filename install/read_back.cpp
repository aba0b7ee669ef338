#include "install/read_back.h"

#include <windows.h>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"
#include "install/progress_dialog.h"
#include "install/progress_math.h"
#include "install/read_back_sums.h"
#include "install/run_worker.h"
#include "resources/resource_ids.h"

namespace {

// One request to the target: a multiple of every sector size there is, so an
// uncached read may ask for it; the last one returns what is left. The
// buffers come from VirtualAlloc, which aligns them to a page and so to any
// sector.
constexpr DWORD CHUNK = 1 << 20;

// How often the wait for the image's test looks for Stop.
constexpr DWORD POLL_MS = 250;

enum read_end { SAME, DIFFERENT, SHORT, UNREADABLE, IMAGE_UNREADABLE, STOPPED };

// What the read-back of the whole run has found so far.
struct read_back_state {
    char letter;
    const wchar_t* image;
    unsigned char* on_target; // CHUNK bytes
    unsigned char* in_image;  // CHUNK bytes
    int64_t total;            // the bytes of all files
    int64_t read;             // of the files before the current one
    uint64_t sum;             // of the CRC-32s of the files read
    int bar;                  // where the bar was put last
};

// A file's place on the target, and one opened past the system's cache.
HANDLE open_uncached(const read_back_state* s, const char* name)
{
    char path[TEXT_BUFFER_SIZE];
    if (!compose_text(path, TEXT_BUFFER_SIZE, "%c:\\kavel\\%s", s->letter, name))
        return INVALID_HANDLE_VALUE;
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Only a move is reported: each report waits for the dialog's thread.
void show_bar(read_back_state* s, int64_t offset)
{
    int position = run_bar_position(s->total, s->read + offset, s->total);
    if (position != BAR_UNCHANGED && position != s->bar) {
        set_progress(position);
        s->bar = position;
    }
}

// Reads one file from the target into its CRC-32; `*length` is how much
// there was, or where a read failed.
read_end read_target(read_back_state* s, HANDLE file, uint32_t* crc, int64_t* length)
{
    *crc = 0;
    *length = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, s->on_target, CHUNK, &got, nullptr))
            return UNREADABLE;
        if (got == 0)
            return SAME;
        *crc = crc32_update(*crc, s->on_target, got);
        *length += got;
        show_bar(s, *length);
        if (!run_goes_on())
            return STOPPED;
    }
}

// Up to `wanted` bytes of the image's stream; fewer only at its end.
bool read_stream(HANDLE stream, unsigned char* into, DWORD wanted, DWORD* got)
{
    *got = 0;
    while (*got < wanted) {
        DWORD n = 0;
        if (!ReadFile(stream, into + *got, wanted - *got, &n, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE; // the archiver is done
        if (n == 0)
            return true;
        *got += n;
    }
    return true;
}

// Compares the target's file with 7-Zip's stream of it, chunk by chunk;
// `*offset` is where they part.
read_end compare_with_stream(read_back_state* s, HANDLE file, HANDLE stream, int64_t* offset)
{
    *offset = 0;
    for (;;) {
        DWORD on_disk = 0;
        if (!ReadFile(file, s->on_target, CHUNK, &on_disk, nullptr))
            return UNREADABLE;
        // At the target's end one byte more is asked of the image: there must be none.
        DWORD in_image = 0;
        if (!read_stream(stream, s->in_image, on_disk > 0 ? on_disk : 1, &in_image))
            return IMAGE_UNREADABLE;
        if (!run_goes_on())
            return STOPPED;
        DWORD same = on_disk < in_image ? on_disk : in_image;
        for (DWORD i = 0; i < same; ++i)
            if (s->on_target[i] != s->in_image[i]) {
                *offset += i;
                return DIFFERENT;
            }
        *offset += same;
        if (on_disk == 0)
            return in_image == 0 ? SAME : SHORT;
        if (in_image < on_disk)
            return DIFFERENT; // the target holds more than the image
    }
}

// Ends a child that only reads, unless it has ended by itself; its exit
// code, once it has ended, so that none is left running.
DWORD end_reader(child_run* child, bool at_once)
{
    child_outcome outcome = at_once ? stop_child(child) : finish_child(child);
    free_outcome(&outcome);
    return outcome.code;
}

// How a file on the target differs from the image, and that the drive is not
// to be trusted; the run ends.
step_outcome drive_lost_data(const read_back_state* s, const char* name, read_end end,
                             int64_t offset, DWORD error)
{
    log_string(IDS_FAILED);
    if (end == UNREADABLE) {
        log_text<IDS_READ_BACK_FAILED>(s->letter, widened(name, CP_OEMCP).text);
        SetLastError(error);
        log_append(last_error_text());
    } else if (end == SHORT || end == DIFFERENT) {
        wide_copy wide_name = widened(name, CP_OEMCP);
        auto at = static_cast<long long>(offset);
        if (end == SHORT)
            log_text<IDS_FILE_SHORT>(s->letter, wide_name.text, at);
        else
            log_text<IDS_DIFFERS_AT>(s->letter, wide_name.text, at);
    }
    log_string(IDS_DRIVE_LOSES_DATA);
    return step_failed();
}

// Where one file differs from the image, streamed by 7-Zip byte for byte:
// SAME when it does not.
read_end find_difference(read_back_state* s, const extracted_file* file, int64_t* offset,
                         DWORD* error)
{
    wchar_t command[TEXT_BUFFER_SIZE];
    HANDLE target = open_uncached(s, file->name);
    *error = GetLastError();
    *offset = 0;
    if (target == INVALID_HANDLE_VALUE)
        return UNREADABLE;
    if (!compose_wide(command, TEXT_BUFFER_SIZE, L"7z e -so \"%s\" \"%s\"", s->image,
                      widened(file->name, CP_OEMCP).text)) {
        CloseHandle(target);
        return IMAGE_UNREADABLE;
    }
    child_run child;
    start_child(&child, command, child_stream::OUTPUT_PIPE);
    HANDLE stream = child.pipe;
    read_end end = compare_with_stream(s, target, stream, offset);
    *error = GetLastError();
    CloseHandle(target);
    CloseHandle(stream);
    DWORD code = end_reader(&child, end != SAME);
    return end == SAME && code != 0 ? IMAGE_UNREADABLE : end;
}

// The sums differ: the first file that differs, and where.
step_outcome locate_difference(read_back_state* s, const extracted_file* files, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        int64_t offset = 0;
        DWORD error = 0;
        read_end end = find_difference(s, &files[i], &offset, &error);
        if (end == STOPPED)
            return step_stopped(IDS_CANCELLED);
        if (end == IMAGE_UNREADABLE)
            return step_failed(IDS_FAILED);
        if (end != SAME)
            return drive_lost_data(s, files[i].name, end, offset, error);
    }
    // Read twice, the drive gave different bytes each time.
    return drive_lost_data(s, files[0].name, SAME, 0, 0);
}

// Every file read from the target into the sum of their CRC-32s; a file
// shorter or longer than extracted, or one that cannot be read, ends it.
step_outcome read_target_files(read_back_state* s, const extracted_file* files, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        HANDLE file = open_uncached(s, files[i].name);
        if (file == INVALID_HANDLE_VALUE)
            return drive_lost_data(s, files[i].name, UNREADABLE, 0, GetLastError());
        uint32_t crc = 0;
        int64_t length = 0;
        read_end end = read_target(s, file, &crc, &length);
        DWORD error = GetLastError();
        CloseHandle(file);
        if (end == STOPPED)
            return step_stopped(IDS_CANCELLED);
        if (end == UNREADABLE)
            return drive_lost_data(s, files[i].name, end, length, error);
        if (length != files[i].size)
            return drive_lost_data(s, files[i].name, length < files[i].size ? SHORT : DIFFERENT,
                                   length < files[i].size ? length : files[i].size, 0);
        s->sum += crc;
        s->read += length;
    }
    return STEP_DONE;
}

// Waits for the image's test, looking for Stop meanwhile; false when stopped.
bool wait_for_test(image_test* test)
{
    while (!child_ended_within(&test->child, POLL_MS))
        if (!run_goes_on())
            return false;
    return true;
}

// The sum of the test, once it has ended; the run ends when it failed.
step_outcome take_image_sum(image_test* test, uint64_t* sum)
{
    test->running = false;
    child_outcome said = finish_child(&test->child);
    if (!read_data_sum(said.output, sum) && said.code == 0)
        said.code = 1;
    return child_succeeded(said.code, said.output) ? STEP_DONE : step_failed();
}

} // namespace

void start_image_test(image_test* test, const wchar_t* image)
{
    wchar_t command[TEXT_BUFFER_SIZE];
    test->running = false;
    // The same names as the listing, so the same files.
    if (!compose_wide(command, TEXT_BUFFER_SIZE, L"7z t -scrcCRC32 \"%s\" *.sfs vmlinuz initrd.gz",
                      image))
        return;
    start_child(&test->child, command, child_stream::OUTPUT);
    test->running = true;
}

void end_image_test(image_test* test)
{
    if (!test->running)
        return;
    test->running = false;
    end_reader(&test->child, true);
}

step_outcome read_back_files(char letter, const wchar_t* image, image_test* test,
                             const extracted_file* files, std::size_t count, int64_t total)
{
    if (count == 0)
        return STEP_DONE;
    log_string(IDS_VERIFYING);
    if (!test->running)
        return step_failed(IDS_FAILED);
    auto* buffers = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * CHUNK, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (buffers == nullptr)
        ExitProcess(EXIT_OUT_OF_MEMORY);
    read_back_state s = {letter, image, buffers, buffers + CHUNK, total, 0, 0, BAR_UNCHANGED};

    step_outcome outcome = read_target_files(&s, files, count);
    uint64_t image_sum = 0;
    if (outcome.end == STEP_GOES_ON && !wait_for_test(test))
        outcome = step_stopped(IDS_CANCELLED);
    if (outcome.end == STEP_GOES_ON)
        outcome = take_image_sum(test, &image_sum);
    if (outcome.end == STEP_GOES_ON && image_sum != s.sum)
        outcome = locate_difference(&s, files, count);
    else if (outcome.end == STEP_GOES_ON)
        log_string(IDS_DONE);
    end_image_test(test);
    if (outcome.end == STEP_GOES_ON && !run_goes_on())
        outcome = step_stopped(IDS_CANCELLED);
    VirtualFree(buffers, 0, MEM_RELEASE);
    return outcome;
}
