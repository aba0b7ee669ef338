#pragma once
// The worker thread of each installation run: its start, its run's number,
// and the end of the workers before the process ends. The user-interface
// thread starts runs and ends the workers; each worker asks about its own run.
#include <windows.h>

// User-interface thread: numbers a new run, which is the current one from now on.
unsigned begin_run();

// User-interface thread: starts the worker of run `run`. It first waits for
// the worker of the previous run, if that is still busy, so that at most one
// worker works at a time.
void start_worker(unsigned run);

// Any thread: whether `run` is the current run.
bool is_current_run(unsigned run);

// Worker thread: the number of the calling worker's run.
unsigned own_run();

// Worker thread: whether the calling worker's run goes on: run_active is set
// and no newer run has begun since the worker started.
bool run_goes_on();

// User-interface thread, before the process ends: ends the run's read-only
// child and waits, up to a bound, for the last worker to reach its next check
// and end there, so that no extraction child is left writing and no boot-file
// edit is cut off.
void end_workers_before_exit();
