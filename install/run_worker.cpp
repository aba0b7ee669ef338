#include "install/run_worker.h"

#include <atomic>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/exit_codes.h"
#include "install/install_worker.h"
#include "install/progress_dialog.h"
#include "install/run_steps.h"
#include "resources/resource_ids.h"

namespace {

// Runs are numbered; a worker knows the number of its own run. The worker's
// reports travel as messages to the dialog and carry that number, and the
// dialog (on the user-interface thread) takes only those of its own run, so
// an abandoned worker can never write into a newer run's dialog.
// Written by the user-interface thread when a run begins; read by both.
std::atomic<unsigned> current_run{0};
// Each worker's own; set once when it starts.
thread_local unsigned worker_run = 0;

// The worker of the last run; only the user-interface thread touches it.
HANDLE last_worker;

struct worker_start {
    unsigned run;
    HANDLE previous; // the worker before, waited for; may be null
};

// How often a worker that waits for the previous one looks for Stop.
constexpr DWORD STOP_LOOK_MS = 100;

// Waits for the previous worker, saying so in the log when it is still busy.
// True when the run goes on; false when it was stopped meanwhile, and then
// only after the previous worker has ended all the same, so that the next
// run, which waits for this worker, waits for both.
bool wait_for_previous(HANDLE previous)
{
    if (WaitForSingleObject(previous, 0) != WAIT_TIMEOUT)
        return true;
    log_string(IDS_WAITING_FOR_PREVIOUS_RUN);
    while (WaitForSingleObject(previous, STOP_LOOK_MS) == WAIT_TIMEOUT) {
        if (stop_point()) {
            WaitForSingleObject(previous, INFINITE);
            return false;
        }
    }
    log_string(IDS_DONE);
    return true;
}

// At most one worker works at a time: a new run's worker first waits for the
// previous one, which ends at its next check (at once during an extraction or
// a read-only child, which closing its dialog ended; after a writing child
// otherwise). The waiting happens here, never on the user-interface thread.
DWORD WINAPI worker_entry(void* param)
{
    worker_start start = *static_cast<worker_start*>(param);
    HeapFree(GetProcessHeap(), 0, param);
    worker_run = start.run;
    if (start.previous != nullptr) {
        bool goes_on = wait_for_previous(start.previous);
        CloseHandle(start.previous);
        if (!goes_on)
            return 0;
    }
    return install_worker(nullptr);
}

} // namespace

unsigned begin_run()
{
    return current_run.fetch_add(1) + 1;
}

void start_worker(unsigned run)
{
    auto* start = static_cast<worker_start*>(HeapAlloc(GetProcessHeap(), 0, sizeof(worker_start)));
    if (start == nullptr)
        ExitProcess(EXIT_OUT_OF_MEMORY);
    start->run = run;
    start->previous = last_worker; // handed over to the new worker
    last_worker = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, worker_entry, start, 0, nullptr);
    if (thread == nullptr)
        fail_api("CreateThread");
    last_worker = thread;
}

bool is_current_run(unsigned run)
{
    return run == current_run.load();
}

unsigned own_run()
{
    return worker_run;
}

bool run_goes_on()
{
    return run_active.load() != 0 && worker_run == current_run.load();
}

void end_workers_before_exit()
{
    run_active = 0;
    end_stoppable_child();
    if (last_worker == nullptr)
        return;
    // An abandoned worker ends its extraction child and itself at its next
    // check, within a quarter of a second; a boot-file edit or syslinux that
    // it is in is let finish, up to a bound. Messages the worker sends to the
    // main dialog meanwhile are answered.
    constexpr DWORD EXIT_WAIT_MS = 15000;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= EXIT_WAIT_MS)
            return;
        DWORD result =
            MsgWaitForMultipleObjects(1, &last_worker, FALSE, EXIT_WAIT_MS - spent, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1)
            return; // ended, or the wait is over
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
