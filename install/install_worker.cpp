#include "install/install_worker.h"

#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "child/child_programs.h"
#include "disk/drive_class.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "install/archive_listing.h"
#include "install/boot_setup.h"
#include "install/progress_dialog.h"
#include "install/progress_math.h"
#include "install/run_steps.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

namespace {

// How often the growing file is measured and Stop is looked for.
constexpr DWORD POLL_MS = 250;

// What the step functions leave for the next one.
struct run_state {
    char letter;
    char image[TEXT_BUFFER_SIZE];
    char* listing; // from the image check to the end of the extraction
    int64_t total_size;
    int64_t done_size;
};

void log_format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A log line built from a string-table text; a line that would not fit is cut,
// which loses nothing but text.
void log_format(const char* format, ...)
{
    char line[TEXT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_append(line);
}

void log_advice(char letter)
{
    log_format(load_res_string(IDS_CHKDSK_ADVICE), letter);
}

void free_listing(run_state* run)
{
    if (run->listing != nullptr)
        HeapFree(GetProcessHeap(), 0, run->listing);
    run->listing = nullptr;
}

// A stop point while the run holds the listing: true when the run goes on.
bool goes_on(run_state* run)
{
    if (!stop_point())
        return true;
    free_listing(run);
    return false;
}

// Abandons the run, logging `outcome` and, when given, the listing.
void abandon_with(run_state* run, int outcome, bool show_listing)
{
    log_string(outcome);
    if (show_listing && run->listing != nullptr)
        log_append(run->listing);
    free_listing(run);
    abandon_run();
}

// A read-only child was ended because the run was stopped.
void cancelled(run_state* run)
{
    log_string(IDS_CANCELLED);
    free_listing(run);
    if (!stop_point())
        abandon_run();
}

// Returns true when the run goes on after the format step.
bool format_drive(run_state* run)
{
    log_format(load_res_string(IDS_FORMATTING), run->letter);
    int result = static_cast<int>(
        SHFormatDrive(progress_dialog, run->letter - 'A', SHFMT_ID_DEFAULT, SHFMT_OPT_FULL));
    if (result == static_cast<int>(SHFMT_NOFORMAT)) {
        log_string(IDS_FAILED);
        abandon_run();
        return false;
    }
    if (result == static_cast<int>(SHFMT_CANCEL) || result == static_cast<int>(SHFMT_ERROR)) {
        log_string(IDS_CANCELLED);
        abandon_run();
        return false;
    }
    log_string(IDS_DONE);
    return !stop_point();
}

bool check_image(run_state* run)
{
    log_string(IDS_CHECKING_IMAGE);
    char command[TEXT_BUFFER_SIZE];
    if (!compose_text(command, sizeof command, "7z l \"%s\" *.sfs vmlinuz initrd.gz", run->image)) {
        abandon_with(run, IDS_FAILED, false);
        return false;
    }
    PROCESS_INFORMATION child;
    HANDLE pipe = run_captured(command, &child, 0);
    // The listing only reads: a stop ends it.
    watch_read_only_child(child.hProcess, run_goes_on);
    run->listing = read_pipe_text(pipe);
    bool ended_early = unwatch_read_only_child();
    DWORD code = 0;
    take_exit_code(&child, &code);
    if (ended_early) {
        cancelled(run);
        return false;
    }
    if (code != 0) {
        abandon_with(run, IDS_FAILED, true);
        return false;
    }

    std::size_t whole = std::strlen(run->listing);
    if (listing_read_total(run->listing, &run->total_size) != 0) {
        abandon_with(run, IDS_NO_FILE_INFO, true);
        return false;
    }
    // Nothing to extract, or a name that would reach the command line or the
    // target path: refused before anything is written.
    if (listing_check_files(run->listing) <= 0) {
        // Shown whole: the summary was cut behind its total, over the blank
        // that both summary shapes have there.
        std::size_t cut = std::strlen(run->listing);
        if (cut < whole)
            run->listing[cut] = ' ';
        abandon_with(run, IDS_NO_FILE_INFO, true);
        return false;
    }
    run->done_size = 0;
    log_string(IDS_DONE);
    return goes_on(run);
}

bool check_file_system(run_state* run)
{
    log_string(IDS_CHECKING_FILE_SYSTEM);
    char command[TEXT_BUFFER_SIZE];
    compose_text(command, sizeof command, "chkdsk %c:", run->letter);
    // The check only reads: a stop ends it.
    next_child_only_reads(run_goes_on);
    DWORD code = run_and_wait(command);
    if (last_child_ended_early()) {
        cancelled(run);
        return false;
    }
    switch (code) {
    case 0:
        log_string(IDS_DONE);
        break;
    case 2:
        log_string(IDS_MINOR_IRREGULARITY);
        log_advice(run->letter);
        break;
    case 3:
        log_string(IDS_FAILED);
        log_advice(run->letter);
        free_listing(run);
        abandon_run();
        return false;
    default:
        log_string(IDS_UNKNOWN_ERROR);
        log_advice(run->letter);
        break;
    }
    return goes_on(run);
}

bool check_free_space(run_state* run)
{
    log_string(IDS_CHECKING_SPACE);
    char root[8];
    compose_text(root, sizeof root, "%c:\\", run->letter);
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(root, &available, nullptr, nullptr)) {
        abandon_with(run, IDS_FAILED, false);
        return false;
    }
    if (!space_is_enough(available.QuadPart, run->total_size)) {
        log_format(load_res_string(IDS_NOT_ENOUGH_SPACE), space_message_mib(run->total_size));
        free_listing(run);
        abandon_run();
        return false;
    }
    log_string(IDS_DONE);
    return goes_on(run);
}

void close_child(PROCESS_INFORMATION* child)
{
    CloseHandle(child->hThread);
    CloseHandle(child->hProcess);
}

enum file_result { FILE_DONE, FILE_STOPPED, FILE_FAILED };

// Extracts one file and follows it with the bar until its child ends.
file_result extract_file(run_state* run, const char* name, int64_t listed_size)
{
    log_format(load_res_string(IDS_COPYING), run->letter, "kavel\\", name);
    char command[TEXT_BUFFER_SIZE];
    char target[TEXT_BUFFER_SIZE];
    if (!compose_text(command, sizeof command, "7z e -y -o%c:\\kavel\\ \"%s\" \"%s\"", run->letter,
                      run->image, name) ||
        !compose_text(target, sizeof target, "%c:\\kavel\\%s", run->letter, name)) {
        log_string(IDS_FAILED);
        return FILE_FAILED;
    }
    PROCESS_INFORMATION child;
    HANDLE pipe = run_captured(command, &child, 0);
    // What the child prints is taken while it runs, so that it never blocks
    // on a full pipe; it is shown when the child fails.
    pipe_collector* output = collect_pipe(pipe);
    for (;;) {
        // Ends the wait as soon as the child ends, but looks at least this often.
        bool ended = wait_child(&child, POLL_MS) == 1;
        // The exit code before the size: once the child has ended, the size
        // read next is the file's final one, for the bar and for the check
        // alike, and the file need not be opened a second time.
        DWORD code = 0;
        if (!GetExitCodeProcess(child.hProcess, &code))
            fail_api("GetExitCodeProcess");
        int64_t written = file_size_or_zero(target);
        int position = extraction_bar_position(written, run->done_size, run->total_size);
        if (position != BAR_UNCHANGED)
            set_progress(position);
        if (!run_goes_on()) {
            TerminateProcess(child.hProcess, 1);
            close_child(&child);
            abandon_collector(output);
            log_string(IDS_CANCELLED);
            return FILE_STOPPED; // the partial file stays
        }
        // A child that has ended with the code 259 is judged as failed, like
        // any other nonzero code, instead of being waited for again.
        if (code == STILL_ACTIVE && !ended)
            continue;
        char* text = collected_text(output);
        if (code != 0) {
            log_string(IDS_FAILED);
            log_append(text);
        }
        HeapFree(GetProcessHeap(), 0, text);
        bool size_right = written == listed_size;
        close_child(&child);
        if (!size_right) {
            log_string(IDS_WRONG_SIZE);
            return FILE_FAILED;
        }
        run->done_size += listed_size;
        log_string(IDS_DONE);
        return FILE_DONE;
    }
}

bool boot_ini_exists()
{
    DWORD attributes = GetFileAttributesA("C:\\boot.ini");
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Returns true when every file is in place and the run goes on.
bool extract_files(run_state* run)
{
    listing_cursor cursor;
    listing_begin(&cursor, run->listing);
    while (run_goes_on()) {
        int64_t size = 0;
        const char* name = nullptr;
        if (listing_next_file(&cursor, &size, &name) != 1)
            break;
        file_result result = extract_file(run, name, size);
        if (result == FILE_STOPPED)
            break;
        if (result == FILE_FAILED) {
            free_listing(run);
            abandon_run();
            return false;
        }
    }
    free_listing(run);
    return !stop_point();
}

} // namespace

DWORD WINAPI install_worker(void*)
{
    run_state run = {};
    run.letter = selected_drive_letter();
    compose_text(run.image, sizeof run.image, "%s", image_path_text());
    if (stop_point())
        return 0;

    // A hard-disk target is made bootable through C:\boot.ini, which Windows
    // Vista and later do not have: refused before anything is changed.
    if (classify_drive(run.letter) == DRIVE_CLASS_FIXED && !boot_ini_exists()) {
        log_string(IDS_NO_BOOT_INI);
        abandon_run();
        return 0;
    }

    bool format = SendDlgItemMessageA(main_dialog, IDC_FORMAT, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (format) {
        if (!format_drive(&run))
            return 0;
    } else if (stop_point()) {
        return 0;
    }
    if (!check_image(&run) || !check_file_system(&run) || !check_free_space(&run) ||
        !extract_files(&run))
        return 0;
    boot_setup(run.letter);
    return 0;
}
