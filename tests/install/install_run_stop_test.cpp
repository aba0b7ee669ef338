// Stop, the close box and Exit at any moment of a run, and the progress
// dialog itself: children end, logs stay whole and in order, and a new run
// never mixes with an old one.

#include "install_run.h"

namespace {

TEST_F(InstallRun, StopDuringAnExtractionEndsTheChildAndKeepsThePartialFile)
{
    HANDLE child = start_slow_extraction(50000000);
    ASSERT_NE(child, nullptr);

    DWORD pressed = GetTickCount();
    click(progress, IDC_STOP_CLOSE);
    EXPECT_EQ(WaitForSingleObject(child, 1500), WAIT_OBJECT_0) << "the extraction went on";
    DWORD ended = GetTickCount() - pressed;
    CloseHandle(child);
    std::string l = finished_log();
    EXPECT_EQ(l,
              image_checks() + copy_line("slow.sfs") + text(IDS_CANCELLED) + text(IDS_INTERRUPTED));
    long long partial = file_size("E:\\kavel\\slow.sfs");
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 50000000);
    // The dialog stays open until the button is pressed again.
    EXPECT_TRUE(IsWindow(progress));
    click(progress, IDC_STOP_CLOSE);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
    RecordProperty("child_end_ms", static_cast<int>(ended));
}

// Where control `id` of `dialog` stands, in the dialog's client pixels.
RECT client_rect_of(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Left, top, right and bottom, compared as one.
std::vector<LONG> edges(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

TEST_F(InstallRun, TheProgressDialogOpensWithItsTextsAndTheBarAtZero)
{
    put("chkdsk.code", "0 3000"); // holds the run while the dialog is looked at
    start(images + "kavel-test.iso");
    EXPECT_EQ(window_text(progress), text(IDS_PROGRESS_TITLE));
    // The button's text is the last thing set when the dialog opens.
    EXPECT_TRUE(wait_until([&] { return control_text(progress, IDC_STOP_CLOSE) == text(IDS_STOP); },
                           WAIT_MS));
    EXPECT_EQ(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(progress, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(bar(), 0);
    // (Wine answers WM_GETFONT with 0 across processes, so the log's font is
    // seen on the screenshot of the dialog instead.)
    // The main dialog takes no input meanwhile.
    EXPECT_FALSE(IsWindowEnabled(main));
    // Escape does nothing, also in the log, which has the focus at first.
    EXPECT_EQ(focus_of(progress), GetDlgItem(progress, IDC_LOG));
    press_key(GetDlgItem(progress, IDC_LOG), VK_ESCAPE);
    Sleep(300);
    EXPECT_TRUE(IsWindow(progress));
    EXPECT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_STOP));
}

TEST_F(InstallRun, ResizingKeepsTheMarginsAndTheButtonsSize)
{
    put("chkdsk.code", "0 3000");
    start(images + "kavel-test.iso");
    RECT before = client_rect_of(progress, IDC_STOP_CLOSE);
    const int bw = before.right - before.left, bh = before.bottom - before.top;
    for (SIZE size : {SIZE{700, 520}, SIZE{420, 300}}) {
        SetWindowPos(progress, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(progress, &client);
        const int w = client.right, h = client.bottom;
        ASSERT_TRUE(wait_until(
            [&] { return client_rect_of(progress, IDC_STOP_CLOSE).left == w - bw - 6; }, WAIT_MS));
        RECT button = client_rect_of(progress, IDC_STOP_CLOSE);
        EXPECT_EQ(edges(button), edges({button.left, h - bh - 6, button.left + bw, h - 6}));
        EXPECT_EQ(edges(client_rect_of(progress, IDC_LOG)), edges({6, 6, w - 6, h - bh - 12}));
        EXPECT_EQ(edges(client_rect_of(progress, IDC_PROGRESS)),
                  edges({6, button.top + 1, button.left - 6, button.bottom - 1}));
    }
}

TEST_F(InstallRun, StopWhileChkdskRunsEndsTheCheck)
{
    // The check only reads, so a stop ends it instead of waiting a minute.
    HANDLE check = start_until_child("chkdsk", "0 60000", text(IDS_CHECKING_FILE_SYSTEM));
    ASSERT_NE(check, nullptr);
    click(progress, IDC_STOP_CLOSE);
    EXPECT_EQ(WaitForSingleObject(check, 10000), WAIT_OBJECT_0) << "chkdsk runs on";
    CloseHandle(check);
    EXPECT_EQ(finished_log(WAIT_MS), text(IDS_CHECKING_IMAGE) + text(IDS_DONE) +
                                         text(IDS_CHECKING_FILE_SYSTEM) + text(IDS_CANCELLED) +
                                         text(IDS_INTERRUPTED));
}

// Many small files: two log lines each, handed over as fast as the children
// come and go.
struct ManyFiles {
    std::string listing, sizes;
    std::vector<std::string> names;
};

ManyFiles many_files(int count)
{
    ManyFiles m;
    std::vector<std::pair<long long, std::string>> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        wsprintfA(name, "part%02d.sfs", i);
        files.push_back({1000 + i, name});
        m.names.push_back(name);
        m.sizes += std::to_string(1000 + i) + " " + name + "\n";
    }
    m.listing = current_listing(files);
    return m;
}

// Whether `l` is the log of a run stopped partway: a prefix of the whole
// run's log, then "cancelled" only right after a file's label, then (when
// `ended`; else at most) the interruption, once, at the end.
bool stopped_log_in_order(std::string l, const std::string& whole,
                          const std::vector<std::string>& names, bool ended)
{
    const std::string interrupted = text(IDS_INTERRUPTED);
    const std::string cancelled = text(IDS_CANCELLED);
    auto cut_tail = [&](const std::string& tail) {
        if (!ends_with(l, tail))
            return false;
        l.resize(l.size() - tail.size());
        return true;
    };
    if (!cut_tail(interrupted) && ended)
        return false;
    if (cut_tail(cancelled)) {
        // A stop ends an extraction, and also a running listing or chkdsk.
        bool after_label =
            ends_with(l, text(IDS_CHECKING_IMAGE)) || ends_with(l, text(IDS_CHECKING_FILE_SYSTEM));
        for (const std::string& name : names)
            after_label = after_label || ends_with(l, copy_line(name));
        if (!after_label)
            return false;
    }
    return starts_with(whole, l) && l.find(interrupted) == std::string::npos;
}

// Presses the button and returns once the dialog has handled the press (the
// test's click only posts it).
void press_now(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

TEST_F(InstallRun, ALongLogIsWholeAndInOrderWhenTheButtonReadsClose)
{
    ManyFiles m = many_files(40);
    use_stand_in_7z(m.listing, m.sizes);
    start(images + "kavel-test.iso");
    const std::string expected = success_log(m.names);
    // Everything handed over before the end of the run is shown by the time
    // the button is relabelled, the bar's last move included.
    ASSERT_TRUE(installer.run_ended()) << log();
    std::string at_close = log();
    int bar_at_close = bar();
    EXPECT_EQ(at_close, expected);
    EXPECT_EQ(bar_at_close, 100);
    // The log, longer than its window, is scrolled to its end: the text goes
    // in while the dialog's drawing is held, and the edit still follows it.
    HWND log_control = GetDlgItem(progress, IDC_LOG);
    auto line_y = [&](LRESULT line) {
        LRESULT at = SendMessageW(log_control, EM_LINEINDEX, line, 0);
        return static_cast<short>(HIWORD(SendMessageW(log_control, EM_POSFROMCHAR, at, 0)));
    };
    LRESULT top_line = SendMessageW(log_control, EM_GETFIRSTVISIBLELINE, 0, 0);
    LRESULT lines = SendMessageW(log_control, EM_GETLINECOUNT, 0, 0);
    int line_height = line_y(top_line + 1) - line_y(top_line);
    RECT client;
    GetClientRect(log_control, &client);
    ASSERT_GT(line_height, 0);
    EXPECT_GT(top_line, 0) << "a log of " << lines << " lines shows its first line";
    EXPECT_LE(lines, top_line + client.bottom / line_height)
        << "the last of " << lines << " lines is below the view from line " << top_line;
    // And nothing follows.
    Sleep(300);
    EXPECT_EQ(log(), expected);
}

// Stop, or the close box, at random moments of runs with a long log. After
// Stop the log that the dialog shows at once is what the worker had handed
// over: a prefix of the whole run's log, in order; the worker then adds only
// its cancel and interruption lines. A closed dialog leaves nothing behind:
// the next run's log is its own, whole.
TEST_F(InstallRun, StoppedOrClosedAtAnyMomentTheLogStaysWholeAndInOrder)
{
    ManyFiles m = many_files(30);
    use_stand_in_7z(m.listing, m.sizes);
    const std::string whole = success_log(m.names);

    start(images + "kavel-test.iso");
    DWORD began = GetTickCount();
    ASSERT_EQ(finished_log(), whole);
    // The moments are drawn from the first half of a whole run on this
    // machine, so that the run has seldom ended by itself when they come.
    const DWORD run_ms = (GetTickCount() - began) / 2 + 1;
    const unsigned seed = GetTickCount();
    RecordProperty("seed", static_cast<int>(seed));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 draw(seed);
    std::uniform_int_distribution<DWORD> moment(0, run_ms);

    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_CLOSE));
        press_now(progress, IDC_STOP_CLOSE); // Close: back to the main dialog
        ASSERT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
        remove_tree("E:\\kavel");
        ASSERT_TRUE(installer.press_start()) << "no progress dialog";
        DWORD at = moment(draw);
        Sleep(at);
        if (round % 2 == 0) {
            // Stop: the dialog stays, and its log can be read.
            if (control_text(progress, IDC_STOP_CLOSE) != text(IDS_STOP)) {
                EXPECT_EQ(finished_log(), whole); // ended by itself first
                continue;
            }
            press_now(progress, IDC_STOP_CLOSE);
            std::string shown = log();
            // The worker may add its last lines any moment after the press.
            EXPECT_TRUE(stopped_log_in_order(shown, whole, m.names, false))
                << "at " << at << " ms: " << shown;
            std::string l = finished_log();
            ASSERT_TRUE(starts_with(l, shown)) << l;
            if (l != whole) { // unless the run had ended by itself
                EXPECT_TRUE(stopped_log_in_order(l, whole, m.names, true))
                    << "at " << at << " ms: " << l;
            }
        } else {
            // The close box, then a new run at once: its log is its own and whole.
            ASSERT_TRUE(close_progress());
            // The closed run's worker ends at its next check.
            remove_tree("E:\\kavel");
            ASSERT_TRUE(installer.press_start()) << "no progress dialog";
            // It may first wait, visibly, for the closed run's worker.
            std::string l = finished_log();
            EXPECT_TRUE(l == whole ||
                        l == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + whole)
                << "closed at " << at << " ms: " << l;
        }
    }
}

TEST_F(InstallRun, ClosingMidRunAndStartingAgainNeverMixesTwoRuns)
{
    use_stand_in_7z(current_listing({{500000000, "slow.sfs"}}), "500000000 slow.sfs\n");
    put("7z.pace", "65536");
    start(images + "kavel-test.iso");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(log_has(copy_line("slow.sfs")));
        HANDLE child = only_child("7z.exe");
        ASSERT_NE(child, nullptr);
        // Close the dialog and press Start at once.
        ASSERT_TRUE(close_progress());
        ASSERT_TRUE(installer.press_start()) << "no progress dialog";
        EXPECT_EQ(WaitForSingleObject(child, 5000), WAIT_OBJECT_0) << "the old child runs on";
        CloseHandle(child);
        // The new run's log holds its own lines only, up to its own extraction,
        // after the wait line when the old worker had not ended yet.
        ASSERT_TRUE(log_has(copy_line("slow.sfs")));
        std::string own = image_checks() + copy_line("slow.sfs");
        std::string l = log();
        EXPECT_TRUE(l == own || l == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + own)
            << l;
        // The new run's extraction and its test of the image, nothing older.
        EXPECT_LE(children_named(&app, "7z.exe").size(), 2u);
    }
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
}

TEST_F(InstallRun, ClosingDuringChkdskEndsItAndTheNextRunDoesNotWaitSilently)
{
    HANDLE old_check = start_until_child("chkdsk", "0 60000", text(IDS_CHECKING_FILE_SYSTEM));
    ASSERT_NE(old_check, nullptr);
    ASSERT_TRUE(close_progress());
    ASSERT_TRUE(installer.press_start()) << "no progress dialog";
    // Within a second the new log says what the run does: it waits for the
    // previous one, or (when that one has already ended) it checks the image.
    std::string first;
    EXPECT_TRUE(wait_until(
        [&] {
            first = log();
            return first.rfind(text(IDS_WAITING_FOR_PREVIOUS_RUN), 0) == 0 ||
                   first.rfind(text(IDS_CHECKING_IMAGE), 0) == 0;
        },
        1000))
        << "the new log says nothing: \"" << first << "\"";
    EXPECT_EQ(WaitForSingleObject(old_check, 1000), WAIT_OBJECT_0) << "the old chkdsk runs on";
    CloseHandle(old_check);
    // The new run goes on to its own check.
    ASSERT_TRUE(log_has(text(IDS_CHECKING_FILE_SYSTEM)));
    std::string l = log();
    std::string own = text(IDS_CHECKING_IMAGE) + text(IDS_DONE) + text(IDS_CHECKING_FILE_SYSTEM);
    EXPECT_TRUE(l == own || l == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + own) << l;
    // Closing this run ends its check too.
    HANDLE new_check = only_child("chkdsk.exe");
    ASSERT_NE(new_check, nullptr);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForSingleObject(new_check, 5000), WAIT_OBJECT_0);
    CloseHandle(new_check);
}

TEST_F(InstallRun, ANewRunWaitsVisiblyForAWorkerInSyslinuxAndStopWorksMeanwhile)
{
    // syslinux writes: closing its run lets it finish.
    HANDLE loader = start_until_child("syslinux", "0 6000", text(IDS_INSTALLING_BOOT_LOADER));
    ASSERT_NE(loader, nullptr);
    ASSERT_TRUE(close_progress());

    // Second run: it says at once that it waits, and Stop ends it.
    ASSERT_TRUE(installer.press_start()) << "no progress dialog";
    EXPECT_TRUE(wait_until([&] { return log() == text(IDS_WAITING_FOR_PREVIOUS_RUN); }, 1000))
        << log();
    click(progress, IDC_STOP_CLOSE);
    EXPECT_TRUE(installer.run_ended(1000));
    EXPECT_TRUE(wait_until(
        [&] { return log() == text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_INTERRUPTED); }, 1000))
        << log();
    EXPECT_EQ(WaitForSingleObject(loader, 0), WAIT_TIMEOUT) << "syslinux was ended";
    click(progress, IDC_STOP_CLOSE);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));

    // Third run: it waits for both before it, then runs whole.
    put("syslinux.code", "0");
    ASSERT_TRUE(installer.press_start()) << "no progress dialog";
    EXPECT_TRUE(wait_until([&] { return log() == text(IDS_WAITING_FOR_PREVIOUS_RUN); }, 1000))
        << log();
    EXPECT_EQ(WaitForSingleObject(loader, WAIT_MS), WAIT_OBJECT_0);
    CloseHandle(loader);
    EXPECT_EQ(finished_log(), text(IDS_WAITING_FOR_PREVIOUS_RUN) + text(IDS_DONE) + full_run_log());
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\nsyslinux -f E:\n");
}

TEST_F(InstallRun, ExitRightAfterClosingAnExtractionLeavesNoChildWriting)
{
    HANDLE child = start_slow_extraction(500000000);
    ASSERT_NE(child, nullptr);
    // Both posted: Exit is handled as soon as the progress dialog is gone,
    // before the abandoned worker's next look at its run.
    close_and_exit(child, "7z outlived the installer");
    long long size = file_size("E:\\kavel\\slow.sfs");
    Sleep(600);
    EXPECT_EQ(file_size("E:\\kavel\\slow.sfs"), size) << "the file still grows";
    EXPECT_LT(size, 500000000);
}

TEST_F(InstallRun, ExitDuringTheBootLoaderStepWaitsForTheWorkerToFinishIt)
{
    // syslinux writes the boot sector: the run is let finish it before the
    // installer ends.
    HANDLE loader = start_until_child("syslinux", "0 3000", text(IDS_INSTALLING_BOOT_LOADER));
    ASSERT_NE(loader, nullptr);
    close_and_exit(loader, "the installer ended first");
}

} // namespace
