#include "install/read_back.h"

#include <windows.h>

#include <cstring>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "install/progress_dialog.h"
#include "install/progress_math.h"
#include "resources/resource_ids.h"

namespace {

// One request to the target: a multiple of every sector size there is, so an
// uncached read may ask for it; the last one returns what is left.
constexpr DWORD CHUNK = 1 << 20;

// The two sides of one file: the target read past the cache, the image
// streamed by the archiver. Both buffers come from VirtualAlloc, which
// aligns them to a page and so to any sector.
struct comparison {
    HANDLE target;
    HANDLE stream;
    PROCESS_INFORMATION child;
    unsigned char* on_target;
    unsigned char* in_image;
    int64_t offset;          // bytes found equal so far
    int64_t verified_before; // of the files read back before this one
    int64_t total;           // of all files
};

enum compare_end { SAME, DIFFERENT, SHORT, TARGET_UNREADABLE, IMAGE_UNREADABLE, STOPPED };

// Up to `wanted` bytes of the image's stream; fewer only at its end.
bool read_stream(comparison* c, DWORD wanted, DWORD* got)
{
    *got = 0;
    while (*got < wanted) {
        DWORD n = 0;
        if (!ReadFile(c->stream, c->in_image + *got, wanted - *got, &n, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE; // the archiver is done
        if (n == 0)
            return true;
        *got += n;
        if (!run_goes_on())
            return true;
    }
    return true;
}

void show_bar(const comparison* c)
{
    int position = run_bar_position(c->total, c->verified_before + c->offset, c->total);
    if (position != BAR_UNCHANGED)
        set_progress(position);
}

// Compares chunk after chunk, the bar following.
compare_end compare(comparison* c)
{
    for (;;) {
        DWORD on_disk = 0;
        if (!ReadFile(c->target, c->on_target, CHUNK, &on_disk, nullptr))
            return TARGET_UNREADABLE;
        // At the target's end one byte more is asked of the image: there must be none.
        DWORD wanted = on_disk > 0 ? on_disk : 1;
        DWORD in_image = 0;
        if (!read_stream(c, wanted, &in_image))
            return IMAGE_UNREADABLE;
        if (!run_goes_on())
            return STOPPED;
        DWORD same = on_disk < in_image ? on_disk : in_image;
        for (DWORD i = 0; i < same; ++i)
            if (c->on_target[i] != c->in_image[i]) {
                c->offset += i;
                return DIFFERENT;
            }
        c->offset += same;
        show_bar(c);
        if (on_disk == 0)
            return in_image == 0 ? SAME : SHORT;
        if (in_image < on_disk)
            return DIFFERENT; // the target holds more than the image
    }
}

// The archiver: ended at once when the comparison stopped early, then waited
// for, so that none is left running; its code, 259 while it would not end.
DWORD end_stream(comparison* c, bool whole)
{
    if (!whole)
        TerminateProcess(c->child.hProcess, 1);
    CloseHandle(c->stream);
    wait_child(&c->child, INFINITE);
    DWORD code = 0;
    take_exit_code(&c->child, &code);
    return code;
}

// The outcome of a file that is not what the image holds: what differs, and
// that the drive is not to be trusted.
step_outcome drive_lost_data(compare_end end, int64_t offset, DWORD error)
{
    if (end == TARGET_UNREADABLE) {
        log_string(IDS_READ_BACK_FAILED);
        SetLastError(error);
        log_append(last_error_text());
    } else {
        log_text(end == SHORT ? IDS_FILE_SHORT : IDS_DIFFERS_AT, static_cast<long long>(offset));
    }
    log_string(IDS_DRIVE_LOSES_DATA);
    return step_failed();
}

step_outcome read_back_file(char letter, const char* image, const char* name, comparison* c)
{
    log_text(IDS_VERIFYING, letter, "kavel\\", name);
    char path[TEXT_BUFFER_SIZE];
    char command[TEXT_BUFFER_SIZE];
    if (!compose_text(path, sizeof path, "%c:\\kavel\\%s", letter, name) ||
        !compose_text(command, sizeof command, "7z e -so \"%s\" \"%s\"", image, name))
        return step_failed(IDS_FAILED);
    c->offset = 0;
    c->target = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (c->target == INVALID_HANDLE_VALUE)
        return drive_lost_data(TARGET_UNREADABLE, 0, GetLastError());
    c->stream = run_captured(command, &c->child, CAPTURE_OUTPUT);
    compare_end end = compare(c);
    DWORD error = GetLastError();
    CloseHandle(c->target);
    DWORD code = end_stream(c, end == SAME);
    if (end == STOPPED)
        return step_stopped(IDS_CANCELLED);
    if (end == IMAGE_UNREADABLE || (end == SAME && code != 0))
        return step_failed(IDS_FAILED);
    if (end != SAME)
        return drive_lost_data(end, c->offset, error);
    log_string(IDS_DONE);
    return STEP_DONE;
}

} // namespace

step_outcome read_back_files(char letter, const char* image, const extracted_file* files,
                             std::size_t count, int64_t total)
{
    auto* buffers = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * CHUNK, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (buffers == nullptr)
        ExitProcess(EXIT_OUT_OF_MEMORY);
    comparison c = {};
    c.on_target = buffers;
    c.in_image = buffers + CHUNK;
    c.total = total;
    step_outcome outcome = STEP_DONE;
    for (std::size_t i = 0; i < count && outcome.end == STEP_GOES_ON; ++i) {
        outcome = read_back_file(letter, image, files[i].name, &c);
        c.verified_before += files[i].size;
        if (outcome.end == STEP_GOES_ON)
            outcome = check_for_stop();
    }
    VirtualFree(buffers, 0, MEM_RELEASE);
    return outcome;
}
