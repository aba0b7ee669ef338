#include "install/install_worker.h"

#include <shlobj.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "child/child_programs.h"
#include "disk/drive_class.h"
#include "disk/volume_state.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"
#include "install/archive_listing.h"
#include "install/boot_setup.h"
#include "install/hard_disk_mode.h"
#include "install/progress_dialog.h"
#include "install/progress_math.h"
#include "install/read_back.h"
#include "install/run_steps.h"
#include "install/run_worker.h"
#include "resources/resource_ids.h"
#include "setup_window/main_dialog.h"

namespace {

// How often the growing file is measured and Stop is looked for.
constexpr DWORD POLL_MS = 250;

// What the step functions leave for the next one.
struct run_state {
    char letter;
    wchar_t image[TEXT_BUFFER_SIZE];
    char* listing; // from the image check to the end of the run
    int64_t total_size;
    int64_t done_size;
    std::vector<extracted_file> extracted; // names in `listing`, to read back
    image_test test;                       // from the extraction to the read-back
};

step_outcome format_drive(run_state* run)
{
    log_text<IDS_FORMATTING>(run->letter);
    int result = static_cast<int>(
        SHFormatDrive(progress_dialog, run->letter - 'A', SHFMT_ID_DEFAULT, SHFMT_OPT_FULL));
    if (result == static_cast<int>(SHFMT_NOFORMAT))
        return step_failed(IDS_FAILED);
    if (result == static_cast<int>(SHFMT_CANCEL) || result == static_cast<int>(SHFMT_ERROR))
        return step_failed(IDS_CANCELLED);
    log_string(IDS_DONE);
    return check_for_stop();
}

// The listing is the run's from here on: shown after a failure, freed at the end.
step_outcome check_image(run_state* run)
{
    log_string(IDS_CHECKING_IMAGE);
    wchar_t command[TEXT_BUFFER_SIZE];
    if (!compose_wide(command, TEXT_BUFFER_SIZE, L"7z l \"%s\" *.sfs vmlinuz initrd.gz",
                      run->image))
        return step_failed(IDS_FAILED);
    // The listing only reads: a stop ends it.
    child_outcome listing = run_child(command, child_stream::OUTPUT, run_goes_on);
    run->listing = listing.output;
    if (listing.ended_early)
        return step_stopped(IDS_CANCELLED);
    if (listing.code != 0)
        return step_failed(IDS_FAILED, true);

    std::size_t whole = std::strlen(run->listing);
    if (listing_read_total(run->listing, &run->total_size) != 0)
        return step_failed(IDS_NO_FILE_INFO, true);
    // Nothing to extract, or a name that would reach the command line or the
    // target path: refused before anything is written.
    if (listing_check_files(run->listing) <= 0) {
        // Shown whole: the summary was cut behind its total, over the blank
        // that both summary shapes have there.
        std::size_t cut = std::strlen(run->listing);
        if (cut < whole)
            run->listing[cut] = ' ';
        return step_failed(IDS_NO_FILE_INFO, true);
    }
    run->done_size = 0;
    log_string(IDS_DONE);
    return check_for_stop();
}

step_outcome check_file_system(run_state* run)
{
    log_string(IDS_CHECKING_FILE_SYSTEM);
    wchar_t command[TEXT_BUFFER_SIZE];
    compose_wide(command, TEXT_BUFFER_SIZE, L"chkdsk %c:", run->letter);
    // The check only reads: a stop ends it.
    child_outcome check = run_child(command, child_stream::NONE, run_goes_on);
    free_outcome(&check);
    if (check.ended_early)
        return step_stopped(IDS_CANCELLED);
    DWORD code = check.code;
    if (code == 0) {
        log_string(IDS_DONE);
        return check_for_stop();
    }
    // On a fixed volume that Windows is using, a read-only check can report
    // errors that are not there; the volume's own mark decides.
    if (code == 3 && classify_drive(run->letter) == DRIVE_CLASS_FIXED &&
        volume_dirty(run->letter) == VOLUME_CLEAN) {
        log_string(IDS_VOLUME_IN_USE);
        log_text<IDS_CHKDSK_ADVICE>(run->letter);
        return check_for_stop();
    }
    log_string(code == 2 ? IDS_MINOR_IRREGULARITY : code == 3 ? IDS_FAILED : IDS_UNKNOWN_ERROR);
    // How to repair it, after every finding but a clean one.
    log_text<IDS_CHKDSK_ADVICE>(run->letter);
    return code == 3 ? step_failed() : check_for_stop();
}

step_outcome check_free_space(run_state* run)
{
    log_string(IDS_CHECKING_SPACE);
    char root[8];
    compose_text(root, sizeof root, "%c:\\", run->letter);
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(root, &available, nullptr, nullptr))
        return step_failed(IDS_FAILED);
    if (!space_is_enough(available.QuadPart, run->total_size)) {
        log_text<IDS_NOT_ENOUGH_SPACE>(space_message_mib(run->total_size));
        return step_failed();
    }
    log_string(IDS_DONE);
    return check_for_stop();
}

// Follows the growing file at `target` with the bar until its child ends,
// and gives its final size in `written`. False when the run was stopped
// first; the child is ended then, and waited for, since a run that followed
// at once could find the partial file still open.
bool follow_extraction(run_state* run, child_run* child, const char* target, int64_t* written)
{
    for (;;) {
        // Ends the wait as soon as the child ends, but looks at least this often.
        bool ended = child_ended_within(child, POLL_MS);
        // The exit code before the size: once the child has ended, the size
        // read next is the file's final one, for the bar and for the check
        // alike, and the file need not be opened a second time.
        DWORD code = 0;
        if (!GetExitCodeProcess(child->process.hProcess, &code))
            fail_api("GetExitCodeProcess");
        *written = file_size_or_zero(target);
        int position = run_bar_position(run->done_size + *written, 0, run->total_size);
        if (position != BAR_UNCHANGED)
            set_progress(position);
        if (!run_goes_on()) {
            child_outcome stopped = stop_child(child);
            free_outcome(&stopped);
            return false;
        }
        // A child that has ended with the code 259 is judged as failed, like
        // any other nonzero code, instead of being waited for again.
        if (code != STILL_ACTIVE || ended)
            return true;
    }
}

// Extracts one file and follows it with the bar until its child ends.
step_outcome extract_file(run_state* run, const char* name, int64_t listed_size)
{
    // The listing's names are in the OEM code page, as 7-Zip printed them.
    wide_copy wide_name = widened(name, CP_OEMCP);
    log_text<IDS_COPYING>(run->letter, L"kavel\\", wide_name.text);
    wchar_t command[TEXT_BUFFER_SIZE];
    char target[TEXT_BUFFER_SIZE];
    if (!compose_wide(command, TEXT_BUFFER_SIZE, L"7z e -y -o%c:\\kavel\\ \"%s\" \"%s\"",
                      run->letter, run->image, wide_name.text) ||
        !compose_text(target, sizeof target, "%c:\\kavel\\%s", run->letter, name))
        return step_failed(IDS_FAILED);
    // What the child prints is taken while it runs, so that it never blocks
    // on a full pipe; it is shown when the child fails.
    child_run child;
    start_child(&child, command, child_stream::OUTPUT);
    int64_t written = 0;
    if (!follow_extraction(run, &child, target, &written))
        return step_stopped(IDS_CANCELLED); // the partial file stays
    // A failed child is shown, and its file still counts when it has the
    // listed size.
    child_outcome done = finish_child(&child);
    child_succeeded(done.code, done.output);
    if (written != listed_size)
        return step_failed(IDS_WRONG_SIZE);
    run->done_size += listed_size;
    run->extracted.push_back({name, listed_size});
    log_string(IDS_DONE);
    return STEP_DONE;
}

step_outcome extract_files(run_state* run)
{
#ifndef KAVEL_NO_READ_BACK
    start_image_test(&run->test, run->image);
#endif
    listing_cursor cursor;
    listing_begin(&cursor, run->listing);
    int64_t size = 0;
    const char* name = nullptr;
    while (run_goes_on() && listing_next_file(&cursor, &size, &name) == LISTING_FILE) {
        step_outcome file = extract_file(run, name, size);
        if (file.end != STEP_GOES_ON)
            return file;
    }
    return check_for_stop();
}

// Every file read back once the last one is written. A build for measuring
// what that costs leaves it out; the program itself always reads back.
step_outcome read_back(run_state* run)
{
#ifdef KAVEL_NO_READ_BACK
    return check_for_stop();
#else
    return read_back_files(run->letter, run->image, &run->test, run->extracted.data(),
                           run->extracted.size(), run->total_size);
#endif
}

// The steps of a run in order, up to the first that does not go on.
step_outcome install_steps(run_state* run)
{
    run->letter = selected_drive_letter();
    lstrcpynW(run->image, image_path_text(), TEXT_BUFFER_SIZE);
    if (!run_goes_on())
        return step_stopped();

    // A hard-disk target that this PC could not start from is refused before
    // anything is changed.
    if (classify_drive(run->letter) == DRIVE_CLASS_FIXED) {
        step_outcome usable = check_hard_disk_install(run->letter);
        if (usable.end != STEP_GOES_ON)
            return usable;
    }

    bool format = SendDlgItemMessageW(main_dialog, IDC_FORMAT, BM_GETCHECK, 0, 0) == BST_CHECKED;
    step_outcome outcome = format ? format_drive(run) : check_for_stop();
    for (auto step : {check_image, check_file_system, check_free_space, extract_files, read_back})
        if (outcome.end == STEP_GOES_ON)
            outcome = step(run);
    return outcome.end == STEP_GOES_ON ? boot_setup(run->letter) : outcome;
}

} // namespace

DWORD WINAPI install_worker(void*)
{
    run_state run = {};
    step_outcome outcome = install_steps(&run);
    // A run that ends before its read-back leaves no test of the image behind.
    end_image_test(&run.test);
    leave_run(outcome, run.listing);
    if (run.listing != nullptr)
        HeapFree(GetProcessHeap(), 0, run.listing);
    return 0;
}
