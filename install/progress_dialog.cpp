#include "install/progress_dialog.h"

#include <commctrl.h>

#include <cstring>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/exit_codes.h"
#include "install/progress_layout.h"
#include "install/progress_math.h"
#include "install/run_steps.h"
#include "install/run_worker.h"
#include "resources/resource_ids.h"

// Both as their declarations say: run_active written and read by both
// threads, progress_dialog set by the user-interface thread for the worker.
std::atomic<int> run_active{0};
HWND progress_dialog;

namespace {

enum : UINT {
    MSG_LOG = WM_APP + 1,
    MSG_PROGRESS,
    MSG_END_RUN,
};

// The log shows the worker's texts without holding the worker: appending to
// the edit control repaints it, which under Wine costs 10 to 20 ms a line and
// grows with the log, and the worker would wait for that between two child
// programs. So the dialog takes each text at once into a pending buffer and
// shows what has gathered in one go a moment later, by which time the worker
// has handed over the rest of that step and started its next child. Nothing
// the worker reports later may overtake a text: the bar moves after the
// texts handed over before it, in the same showing, and the end of the run
// and the closing of the dialog show everything pending first. Only the
// user-interface thread touches these.
constexpr UINT_PTR SHOW_LOG_TIMER = 1;
constexpr UINT SHOW_LOG_DELAY_MS = 40;
constexpr SIZE_T PENDING_START_CAPACITY = 1024;
struct pending_log {
    wchar_t* text;   // NUL-terminated; from the process heap, kept between runs
    SIZE_T length;   // characters, terminator aside
    SIZE_T capacity; // characters
    int bar;         // the bar position to show next, or -1
};
pending_log pending = {nullptr, 0, 0, -1};
// EndDialog called: later reports have no effect. Only the user-interface
// thread touches it.
bool dialog_ending;

// A multi-line edit in a dialog closes the dialog on Escape, which would stop
// the run; the log keeps that key to itself instead. The edit's own
// procedure is kept in the control's user data, which an edit leaves alone.
LRESULT CALLBACK log_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if ((message == WM_KEYDOWN || message == WM_CHAR) && wparam == VK_ESCAPE)
        return 0;
    auto own = reinterpret_cast<WNDPROC>(GetWindowLongW(window, GWL_USERDATA));
    return own != nullptr ? CallWindowProcW(own, window, message, wparam, lparam)
                          : DefWindowProcW(window, message, wparam, lparam);
}

// The first report since the last showing sets the timer for the next one.
void plan_showing(HWND dialog)
{
    if (pending.length == 0 && pending.bar < 0)
        SetTimer(dialog, SHOW_LOG_TIMER, SHOW_LOG_DELAY_MS, nullptr);
}

void keep_pending(HWND dialog, const wchar_t* text)
{
    SIZE_T length = lstrlenW(text);
    if (length == 0)
        return;
    plan_showing(dialog);
    if (pending.text == nullptr || pending.length + length + 1 > pending.capacity) {
        SIZE_T larger = pending.text != nullptr ? pending.capacity : PENDING_START_CAPACITY;
        while (pending.length + length + 1 > larger)
            larger *= 2;
        HANDLE heap = GetProcessHeap();
        void* block = pending.text == nullptr
                          ? HeapAlloc(heap, 0, larger * sizeof(wchar_t))
                          : HeapReAlloc(heap, 0, pending.text, larger * sizeof(wchar_t));
        if (block == nullptr)
            ExitProcess(EXIT_OUT_OF_MEMORY);
        pending.text = static_cast<wchar_t*>(block);
        pending.capacity = larger;
    }
    CopyMemory(pending.text + pending.length, text, (length + 1) * sizeof(wchar_t));
    pending.length += length;
}

// What was waiting to be painted in the dialog and its controls when its
// drawing was held: holding it drops that, so it is asked for again after.
constexpr int DIALOG_WINDOWS = 4; // the dialog and its three controls
struct held_drawing {
    bool held; // false while the dialog is not yet shown: turning its drawing
               // back on would mark it visible before it is
    int count;
    HWND windows[DIALOG_WINDOWS];
    HRGN waiting[DIALOG_WINDOWS]; // null where nothing waited
};

void keep_waiting_repaint(held_drawing* held, HWND window)
{
    if (held->count == DIALOG_WINDOWS)
        return;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (region != nullptr && GetUpdateRgn(window, region, FALSE) == NULLREGION) {
        DeleteObject(region);
        region = nullptr;
    }
    held->windows[held->count] = window;
    held->waiting[held->count] = region;
    ++held->count;
}

held_drawing hold_dialog_drawing()
{
    held_drawing held = {};
    held.held = IsWindowVisible(progress_dialog) != FALSE;
    if (!held.held)
        return held;
    keep_waiting_repaint(&held, progress_dialog);
    for (HWND control = GetWindow(progress_dialog, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT))
        keep_waiting_repaint(&held, control);
    SendMessageW(progress_dialog, WM_SETREDRAW, FALSE, 0);
    return held;
}

void release_dialog_drawing(held_drawing* held)
{
    if (!held->held)
        return;
    SendMessageW(progress_dialog, WM_SETREDRAW, TRUE, 0);
    for (int i = 0; i < held->count; ++i) {
        if (held->waiting[i] == nullptr)
            continue;
        InvalidateRgn(held->windows[i], held->waiting[i], TRUE);
        DeleteObject(held->waiting[i]);
    }
}

// How the log's two scroll bars look: the same record, the same picture.
struct scroll_bar_looks {
    SCROLLBARINFO bars[2];
};

scroll_bar_looks look_of_scroll_bars(HWND log)
{
    scroll_bar_looks looks = {};
    for (SCROLLBARINFO& bar : looks.bars)
        bar.cbSize = sizeof bar;
    GetScrollBarInfo(log, OBJID_HSCROLL, &looks.bars[0]);
    GetScrollBarInfo(log, OBJID_VSCROLL, &looks.bars[1]);
    return looks;
}

// Appends text at the end of the log. Each change of an edit's text sets its
// scroll bars, and under Wine that redraws both bars, disabled ones too, at
// some 6 ms a bar: most of the cost of a showing, and paid while a child runs.
// So the dialog's drawing is held while the text goes in; then the log's text
// is painted afresh, and its frame, with the bars, only when a bar's look has
// changed, as it does once the log is longer than its window.
void append_to_log(const wchar_t* text)
{
    HWND log = GetDlgItem(progress_dialog, IDC_LOG);
    scroll_bar_looks before = look_of_scroll_bars(log);
    held_drawing held = hold_dialog_drawing();
    LRESULT end = SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(log, EM_SETSEL, end, end);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    release_dialog_drawing(&held);
    scroll_bar_looks after = look_of_scroll_bars(log);
    bool same_bars = std::memcmp(&before, &after, sizeof before) == 0;
    RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | (same_bars ? 0 : RDW_FRAME));
}

// Appends the pending text at the end of the log in one replacement, then
// moves the bar to its last reported position.
void show_pending()
{
    KillTimer(progress_dialog, SHOW_LOG_TIMER);
    if (pending.length != 0) {
        append_to_log(pending.text);
        pending.length = 0;
    }
    if (pending.bar >= 0)
        SendDlgItemMessageW(progress_dialog, IDC_PROGRESS, PBM_SETPOS, pending.bar, 0);
    pending.bar = -1;
}

// The bar moves with the next showing too: so it never overtakes a text,
// and the dialog paints nothing while the worker starts its next child.
void move_bar(HWND dialog, int position)
{
    plan_showing(dialog);
    pending.bar = position;
}

// The dialog ends with everything the worker handed over shown; what a
// worker reports after this has no effect, as on a dialog that is gone.
void close_dialog(HWND dialog, int result)
{
    show_pending();
    dialog_ending = true;
    EndDialog(dialog, result);
}

void end_run_here()
{
    show_pending();
    run_active = 0;
    // A listing or a file-system check only reads: it is ended with the run.
    // A writing child (an extraction ends at the worker's next check, syslinux,
    // the format) is left to its end.
    end_stoppable_child();
    SetDlgItemTextW(progress_dialog, IDC_STOP_CLOSE, load_res_string(IDS_CLOSE));
}

void on_init(HWND dialog)
{
    progress_dialog = dialog;
    pending.length = 0;
    pending.bar = -1;
    dialog_ending = false;
    unsigned run = begin_run();
    SetWindowTextW(dialog, load_res_string(IDS_PROGRESS_TITLE));
    HWND log = GetDlgItem(dialog, IDC_LOG);
    SendMessageW(log, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)),
                 FALSE);
    SetWindowLongW(log, GWL_USERDATA,
                   SetWindowLongW(log, GWL_WNDPROC, reinterpret_cast<LONG>(log_proc)));
    // The default limit of an edit would drop the end of a long log, the
    // "安装中断！" of a failed run with it; 0 lifts it as far as it goes.
    SendMessageW(log, EM_SETLIMITTEXT, 0, 0);
    RECT client;
    GetClientRect(dialog, &client);
    layout_progress_dialog(client.right - client.left, client.bottom - client.top);
    run_active = 1;
    SetDlgItemTextW(dialog, IDC_STOP_CLOSE, load_res_string(IDS_STOP));
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, BAR_COMPLETE));
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    start_worker(run);
}

void move_control(int id, const layout_rect& r)
{
    MoveWindow(GetDlgItem(progress_dialog, id), r.x, r.y, r.width, r.height, TRUE);
}

// A report of run `run` reaches the dialog only while that run is current
// and its dialog has not ended.
bool for_this_dialog(WPARAM run)
{
    return is_current_run(static_cast<unsigned>(run)) && !dialog_ending;
}

// Sends a report of the calling worker's run to the dialog.
void report(UINT message, LPARAM value)
{
    SendMessageW(progress_dialog, message, own_run(), value);
}

} // namespace

void layout_progress_dialog(int width, int height)
{
    RECT button;
    GetWindowRect(GetDlgItem(progress_dialog, IDC_STOP_CLOSE), &button);
    progress_layout place = progress_dialog_layout(width, height, button.right - button.left,
                                                   button.bottom - button.top);
    move_control(IDC_STOP_CLOSE, place.button);
    move_control(IDC_LOG, place.log);
    move_control(IDC_PROGRESS, place.bar);
}

INT_PTR CALLBACK progress_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        on_init(dialog);
        return TRUE;
    case WM_SIZE:
        layout_progress_dialog(LOWORD(lparam), HIWORD(lparam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) != IDC_STOP_CLOSE)
            return FALSE;
        if (run_active)
            end_run_here();
        else
            close_dialog(dialog, 1);
        return TRUE;
    case WM_CLOSE:
        end_run_here();
        close_dialog(dialog, 0);
        return TRUE;
    case WM_TIMER:
        if (wparam != SHOW_LOG_TIMER)
            return FALSE;
        show_pending();
        return TRUE;
    case MSG_LOG:
        if (for_this_dialog(wparam))
            keep_pending(dialog, reinterpret_cast<const wchar_t*>(lparam));
        return TRUE;
    case MSG_PROGRESS:
        if (for_this_dialog(wparam))
            move_bar(dialog, static_cast<int>(lparam));
        return TRUE;
    case MSG_END_RUN:
        if (for_this_dialog(wparam))
            end_run_here();
        return TRUE;
    default:
        return FALSE;
    }
}

void log_append(const wchar_t* text)
{
    report(MSG_LOG, reinterpret_cast<LPARAM>(text));
}

void log_child_output(const char* text)
{
    // Console programs print in the OEM code page when their output is a pipe.
    int length = MultiByteToWideChar(CP_OEMCP, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return;
    HANDLE heap = GetProcessHeap();
    auto* wide = static_cast<wchar_t*>(HeapAlloc(heap, 0, length * sizeof(wchar_t)));
    if (wide == nullptr)
        ExitProcess(EXIT_OUT_OF_MEMORY);
    MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide, length);
    log_append(wide);
    HeapFree(heap, 0, wide);
}

void set_progress(int position)
{
    report(MSG_PROGRESS, position);
}

void end_run()
{
    // The dialog clears run_active and relabels the button on its own thread
    // before the message returns, so the worker's next check sees the end; a
    // worker whose run is over cannot clear a newer run's flag this way.
    report(MSG_END_RUN, 0);
}
