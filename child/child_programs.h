#pragma once
// Starting the external programs a run drives (7z, chkdsk, syslinux,
// bcdedit) and taking what they print and how they end. Called by the worker
// thread; end_stoppable_child also by the user-interface thread.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// The folder of the installer's program file, without a trailing backslash, in
// `folder` of `size` wide characters; false when it does not fit. Wide, since
// the ANSI code page may not spell every folder name.
bool installer_folder(wchar_t* folder, std::size_t size);

// Running external command-line programs, each in a console of its own that
// has no window; its standard handles are a pipe or the null device, never
// the installer's own. The command line goes to the child unchanged, wide, so
// that an image path any code page cannot spell reaches it; its first word
// names the program, which is started by its full path: chkdsk from the system
// folder (bcdedit from the running Windows's own, also for this 32-bit
// program on 64-bit Windows), every other program from the installer's folder (".exe" added to a
// name without extension), never from the current folder or the PATH.
// A failed CreatePipe, CreateProcess or CreateThread, or a failed read of a
// pipe or an exit code, ends the process with code 3 after the failure box;
// a heap that refuses ends it with code 2.

// Which of a child's streams are taken from it.
enum class child_stream {
    NONE,        // none: all three are the null device
    OUTPUT,      // standard output, collected while the child runs
    ERRORS,      // standard error, collected while the child runs
    BOTH,        // both, collected in the order the child writes them
    OUTPUT_PIPE, // standard output as a pipe that the caller reads itself
};

// What a child printed, collected by a thread of its own while the child
// runs, so that a child printing more than the pipe holds never blocks on it.
struct pipe_collector;

// A started child.
struct child_run {
    PROCESS_INFORMATION process;
    pipe_collector* collector; // OUTPUT, ERRORS, BOTH
    HANDLE pipe;               // OUTPUT_PIPE: the read end, the caller's to read and close
    bool stoppable;            // a Stop of the run may end it
};

// What became of a child.
struct child_outcome {
    DWORD code;       // the code it ended with
    bool ended_early; // ended before its own end, by a Stop or by stop_child
    char* output;     // the collected text, NUL-terminated; never null; the
                      // caller frees it with HeapFree (free_outcome)
};

// Starts `command_line` with `streams` taken. `still_wanted`, when given,
// makes the child one that only reads, which the user's Stop may end from
// the user-interface thread (end_stoppable_child); it is ended at once when
// its run is already over. Children that write are never ended that way.
void start_child(child_run* child, wchar_t* command_line, child_stream streams,
                 bool (*still_wanted)() = nullptr);

// Whether the child has ended within `milliseconds`. A wait the platform
// refuses also takes the whole time and gives false, so a polling caller
// keeps its pace and learns the state from the outcome.
bool child_ended_within(child_run* child, DWORD milliseconds);

// Waits for the child's end and for all it printed, and gives its outcome;
// the child's handles are closed.
child_outcome finish_child(child_run* child);

// Ends the child without waiting for what it printed, waits for its end
// (ending is not immediate: its files stay open until then), and gives its
// outcome, ended early with an empty text; the child's handles are closed.
child_outcome stop_child(child_run* child);

// start_child and finish_child in one.
child_outcome run_child(wchar_t* command_line, child_stream streams,
                        bool (*still_wanted)() = nullptr);

// Releases the outcome's text.
void free_outcome(child_outcome* outcome);

// Whether the program that `name` names is where start_child would start
// it from.
bool program_available(const wchar_t* name);

// Size in bytes of the file at `path`, also while another process writes it; 0
// when it cannot be opened or its size cannot be read.
int64_t file_size_or_zero(const char* path);

// From any thread: ends the child that a Stop may end, if one runs. Its
// worker learns it from the child's outcome.
void end_stoppable_child();
