#pragma once
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
// A failed CreatePipe or CreateProcess ends the process with code 3 after the
// failure box.

// Which of a child's streams run_captured takes.
constexpr int CAPTURE_OUTPUT = 0; // standard output
constexpr int CAPTURE_ERRORS = 1; // standard error
constexpr int CAPTURE_BOTH = 2;   // both, in the order the child writes them

// Starts `command_line` with the stream(s) `selector` names as the write end
// of a new pipe, and fills `process`. Returns the pipe's read end, which
// belongs to the caller.
HANDLE run_captured(wchar_t* command_line, PROCESS_INFORMATION* process, int selector);

// Whether the program that `name` names is where run_captured would start
// it from.
bool program_available(const wchar_t* name);

// Everything read from `pipe` until no process holds its write end any more,
// followed by one NUL; closes `pipe`. Never null: the block comes from the
// process heap and goes back with HeapFree. Ends the process with code 2 when the
// heap refuses, with code 3 after the failure box when ReadFile fails otherwise.
char* read_pipe_text(HANDLE pipe);

// Appends `n` bytes and a NUL to a text on the process heap that holds `used`
// bytes in `capacity`; a null text starts at 1024 bytes, and the capacity
// doubles as needed. Ends the process with code 2 when the heap refuses.
void append_heap_text(char** text, SIZE_T* used, SIZE_T* capacity, const char* piece, SIZE_T n);

// Waits for the child of run_captured to end and stores its exit code in
// `code`, then closes the record's thread and process handles. Ends the process with code 3 after
// the failure box when the code cannot be read.
void take_exit_code(PROCESS_INFORMATION* process, DWORD* code);

// Starts `command_line`, waits for it without a time limit and returns its exit
// code.
DWORD run_and_wait(wchar_t* command_line);

// 1 as soon as the child of `process` has ended, 0 when `milliseconds` pass
// first. A wait the platform refuses also takes the whole time and gives 0, so a
// polling caller keeps its pace and learns the state from the exit code.
int wait_child(PROCESS_INFORMATION* process, DWORD milliseconds);

// Size in bytes of the file at `path`, also while another process writes it; 0
// when it cannot be opened or its size cannot be read.
int64_t file_size_or_zero(const char* path);

// What an extraction child prints, collected by a thread of its own while
// the child runs, so that a child printing more than the pipe holds never
// blocks on it and nobody has to look at the pipe meanwhile.
struct pipe_collector;

// Starts collecting everything `pipe` brings; the collector owns the pipe
// from now on. A thread that cannot be started ends the process with code 3
// after the failure box.
pipe_collector* collect_pipe(HANDLE pipe);

// Waits until no process holds the pipe's write end any more and gives what
// was collected, as read_pipe_text does; the collector is gone afterwards.
char* collected_text(pipe_collector* collector);

// Gives the collector up without waiting, after its child was ended: the
// thread releases the pipe, the text and itself once the pipe breaks.
void abandon_collector(pipe_collector* collector);

// Children that only read (the image listing, the file-system check) may be
// ended when the user stops the run; children that write never are.
// The worker marks the child it waits for; `wanted` tells whether its run
// still goes on, and a child whose run has already been stopped is ended at
// once.
void watch_read_only_child(HANDLE process, bool (*wanted)());
// Unmarks it; true when it was ended early.
bool unwatch_read_only_child();
// Marks the child of this thread's next run_and_wait so while it runs.
void next_child_only_reads(bool (*wanted)());
// Whether the child of this thread's last run_and_wait was ended early
// (never when it was not marked).
bool last_child_ended_early();
// From any thread: ends the marked child, if there is one.
void end_read_only_child();
