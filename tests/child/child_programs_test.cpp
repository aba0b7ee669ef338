#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "child/child_programs.h"
#include "emit_pattern.h"
#include "frame/exit_codes.h"
#include "ui_driver.h"

namespace {

std::string pattern(int stream, uint32_t count)
{
    std::string text;
    for (uint32_t i = 0; i < count; ++i)
        text += emit_byte(stream, i);
    return text;
}

// A writable command line for child_emit, as the installer composes one.
struct CommandLine {
    wchar_t text[TEXT_BUFFER_SIZE];
};

CommandLine emit_command(const std::string& steps)
{
    std::string text = "child_emit " + steps;
    CommandLine line;
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, line.text, TEXT_BUFFER_SIZE);
    return line;
}

// Starts child_emit with `steps`.
void start_emit(const std::string& steps, child_run* child,
                child_stream streams = child_stream::OUTPUT, bool (*still_wanted)() = nullptr)
{
    CommandLine line = emit_command(steps);
    start_child(child, line.text, streams, still_wanted);
}

// The outcome's code; its text is dropped.
DWORD finished_code(child_run* child)
{
    child_outcome outcome = finish_child(child);
    free_outcome(&outcome);
    return outcome.code;
}

struct Captured {
    std::string text;    // up to the NUL that ends the block
    SIZE_T capacity = 0; // HeapSize: the size last asked of the heap for the block
    DWORD code = 0;
};

// Run and collect.
Captured capture(const std::string& steps, child_stream streams)
{
    CommandLine line = emit_command(steps);
    child_outcome outcome = run_child(line.text, streams);
    Captured result;
    result.text = outcome.output;
    result.capacity = HeapSize(GetProcessHeap(), 0, outcome.output);
    result.code = outcome.code;
    free_outcome(&outcome);
    return result;
}

std::string temp_path(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "kavel_child_" + std::to_string(GetCurrentProcessId()) + "_" +
           name;
}

bool handle_is_open(HANDLE handle)
{
    DWORD flags;
    return GetHandleInformation(handle, &flags) != 0;
}

TEST(ReadPipeText, NoOutputGivesSingleNulInFirstBlock)
{
    Captured c = capture("exit=0", child_stream::OUTPUT);
    EXPECT_EQ(c.text, "");
    EXPECT_EQ(c.capacity, 1024u);
    EXPECT_EQ(c.code, 0u);
}

TEST(ReadPipeText, BlockDoublesOnlyWhenTextAndNulOverflowIt)
{
    struct {
        uint32_t length;
        SIZE_T capacity;
    } cases[] = {{1, 1024}, {1023, 1024}, {1024, 2048}, {2047, 2048}, {2048, 4096}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.length);
        Captured c = capture("out=" + std::to_string(k.length), child_stream::OUTPUT);
        EXPECT_EQ(c.text, pattern(EMIT_STDOUT, k.length));
        EXPECT_EQ(c.capacity, k.capacity);
    }
}

TEST(ReadPipeText, LargeOutputInOddPiecesArrivesWholeAndInOrder)
{
    // Pieces smaller than one read, and larger than the pipe's buffer, so the
    // child blocks until the reader drains it.
    for (int piece : {997, 5003}) {
        SCOPED_TRACE(piece);
        Captured c =
            capture("out=65536/" + std::to_string(piece) + " exit=7", child_stream::OUTPUT);
        EXPECT_EQ(c.text.size(), 65536u);
        EXPECT_TRUE(c.text == pattern(EMIT_STDOUT, 65536)) << "bytes lost, doubled or reordered";
        EXPECT_EQ(c.capacity, 131072u);
        EXPECT_EQ(c.code, 7u);
    }
}

TEST(RunCaptured, SelectorChoosesTheCapturedStream)
{
    // The stream not captured goes to this program's own, so it stays short.
    const char* steps = "out=20 err=200/7 out=5 exit=5";
    Captured error = capture(steps, child_stream::ERRORS);
    EXPECT_EQ(error.text, pattern(EMIT_STDERR, 200));
    EXPECT_EQ(error.code, 5u);

    steps = "out=200/7 err=20 out=5 exit=5";
    Captured output = capture(steps, child_stream::OUTPUT);
    EXPECT_EQ(output.text, pattern(EMIT_STDOUT, 205));
    EXPECT_EQ(output.code, 5u);
}

TEST(RunCaptured, ChildGetsNoWindowAndNothingButItsPipeAndTheNullDevice)
{
    // Whatever this program was started with is not passed on.
    std::string path = temp_path("startup_captured.txt");
    std::string handles = temp_path("handles_captured.txt");
    const struct {
        child_stream streams;
        const char* handles;
    } cases[] = {{child_stream::OUTPUT_PIPE, "in=2 out=3 err=2 window=0"},
                 {child_stream::ERRORS, "in=2 out=2 err=3 window=0"},
                 {child_stream::BOTH, "in=2 out=3 err=3 window=0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handles);
        child_run child;
        start_emit("\"startup=" + path + "\" \"handles=" + handles + "\"", &child, c.streams);
        if (c.streams == child_stream::OUTPUT_PIPE) {
            DWORD flags = 0;
            ASSERT_TRUE(GetHandleInformation(child.pipe, &flags));
            EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u) << "the installer's end is inheritable";
            CloseHandle(child.pipe);
        }
        EXPECT_EQ(finished_code(&child), 0u);
        EXPECT_EQ(read_file(path), "flags=257 show=0");
        EXPECT_EQ(read_file(handles), c.handles);
    }
    DeleteFileA(path.c_str());
    DeleteFileA(handles.c_str());
}

TEST(TakeExitCode, ChildThatClosedItsOutputGivesTheCodeItEndsWithAndHandlesAreClosed)
{
    child_run child;
    start_emit("out=50 close-out sleep=1500 exit=6", &child);
    child_outcome outcome = finish_child(&child);
    EXPECT_EQ(std::string(outcome.output), pattern(EMIT_STDOUT, 50));
    free_outcome(&outcome);
    // Read when the output ends, the code would be 259 (still running).
    EXPECT_EQ(outcome.code, 6u);
    EXPECT_FALSE(outcome.ended_early);
    EXPECT_FALSE(handle_is_open(child.process.hThread));
    EXPECT_FALSE(handle_is_open(child.process.hProcess));
}

TEST(WaitChild, GivesUpAfterTheTimeAndReturnsAsSoonAsTheChildEnds)
{
    child_run child;
    start_emit("sleep=1500 exit=4", &child);
    ULONGLONG start = GetTickCount64();

    EXPECT_FALSE(child_ended_within(&child, 250));
    ULONGLONG first = GetTickCount64() - start;
    EXPECT_GE(first, 230u);
    EXPECT_LT(first, 1400u);

    EXPECT_TRUE(child_ended_within(&child, 20000));
    ULONGLONG ended = GetTickCount64() - start;
    EXPECT_GE(ended, 1400u);
    EXPECT_LT(ended, 10000u) << "waited out the time instead of the child";

    ULONGLONG again = GetTickCount64();
    EXPECT_TRUE(child_ended_within(&child, 20000));
    EXPECT_LT(GetTickCount64() - again, 1000u);

    EXPECT_EQ(finished_code(&child), 4u);
}

TEST(RunAndWait, PassesExitCodesThroughUnchanged)
{
    for (DWORD expected : {0u, 2u, 3u, 77u, 259u, 4000000000u}) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(capture("exit=" + std::to_string(expected), child_stream::NONE).code, expected);
    }
}

TEST(RunAndWait, ReturnsOnlyWhenTheChildHasEnded)
{
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(capture("sleep=2000 exit=2", child_stream::NONE).code, 2u);
    EXPECT_GE(GetTickCount64() - start, 1990u);
}

TEST(RunAndWait, ChildGetsNoWindowAndTheNullDeviceForItsStandardHandles)
{
    std::string path = temp_path("startup_waited.txt");
    std::string handles = temp_path("handles_waited.txt");
    EXPECT_EQ(
        capture("\"startup=" + path + "\" \"handles=" + handles + "\"", child_stream::NONE).code,
        0u);
    EXPECT_EQ(read_file(path), "flags=257 show=0");
    EXPECT_EQ(read_file(handles), "in=2 out=2 err=2 window=0");
    DeleteFileA(path.c_str());
    DeleteFileA(handles.c_str());
}

TEST(ChildProgramFailure, MissingProgramShowsCreateProcessBoxThenExitCode3)
{
    for (const char* way : {"waited", "captured"}) {
        SCOPED_TRACE(way);
        app_process probe;
        ASSERT_TRUE(start_app(&probe, own_folder() + "missing_program_probe.exe", way));
        // The box of report_api_failure, unless the probe ends first.
        HWND box = nullptr;
        wait_until(
            [&] {
                box = wait_dialog_titled(probe.pi.dwProcessId, "Error", 0);
                return box != nullptr || WaitForSingleObject(probe.pi.hProcess, 0) == WAIT_OBJECT_0;
            },
            30000);
        if (box == nullptr) {
            DWORD code = wait_exit(&probe, 0);
            stop_app(&probe);
            FAIL() << "no \"Error\" box from the probe; it ended with code " << code;
        }

        std::string text = message_box_text(box);
        EXPECT_EQ(text.rfind("CreateProcess (2): ", 0), 0u) << text;
        EXPECT_GT(text.size(), std::strlen("CreateProcess (2): ")) << "no system text";
        EXPECT_EQ(WaitForSingleObject(probe.pi.hProcess, 300), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the process went on before the box was answered";

        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        answer(box);
        EXPECT_EQ(wait_exit(&probe, 30000), 3u);
        stop_app(&probe);
    }
}

TEST(FileSizeOrZero, MissingFileGivesZero)
{
    std::string path = temp_path("never_made.bin");
    EXPECT_EQ(file_size_or_zero(path.c_str()), 0);
    EXPECT_EQ(file_size_or_zero("Q:\\no\\such\\folder\\file.bin"), 0);
}

TEST(FileSizeOrZero, FileAChildIsWritingGivesTheSizeSoFar)
{
    std::string path = temp_path("being_written.bin");
    std::string written = "kavel_child_written_" + std::to_string(GetCurrentProcessId());
    std::string go = "kavel_child_go_" + std::to_string(GetCurrentProcessId());
    HANDLE written_event = CreateEventA(nullptr, FALSE, FALSE, written.c_str());
    HANDLE go_event = CreateEventA(nullptr, FALSE, FALSE, go.c_str());
    ASSERT_NE(written_event, nullptr);
    ASSERT_NE(go_event, nullptr);

    const std::string steps = "\"file=" + path + "\" fwrite=1000/333 signal=" + written +
                              " await=" + go + " fwrite=2345 signal=" + written + " await=" + go +
                              " exit=0";
    child_run child;
    start_emit(steps, &child);

    for (int64_t expected : {1000, 3345}) {
        SCOPED_TRACE(expected);
        ASSERT_EQ(WaitForSingleObject(written_event, 30000), WAIT_OBJECT_0);
        EXPECT_EQ(file_size_or_zero(path.c_str()), expected);
        // The child still holds the file open for writing: a second writer is refused.
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_FALSE(child_ended_within(&child, 0));
        SetEvent(go_event);
    }

    EXPECT_TRUE(child_ended_within(&child, 30000));
    EXPECT_EQ(finished_code(&child), 0u);
    EXPECT_EQ(file_size_or_zero(path.c_str()), 3345);
    EXPECT_EQ(read_file(path), pattern(EMIT_FILE, 3345));
    CloseHandle(written_event);
    CloseHandle(go_event);
    DeleteFileA(path.c_str());
}

TEST(FileSizeOrZero, SizesFromFourGiBUpDoNotWrap)
{
    const int64_t sizes[] = {0xFFFFFFFFll, 0x100000000ll, 0x100000000ll + 123, 5ll << 30};
    std::string path = temp_path("sparse.bin");
    for (int64_t size : sizes) {
        SCOPED_TRACE(size);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        // Marked sparse where the file system can; the host's files are sparse anyway.
        DWORD returned;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        DWORD error = GetLastError();
        CloseHandle(file);
        if (!made) {
            DeleteFileA(path.c_str());
            GTEST_SKIP() << "cannot make a file of " << size << " bytes here (error " << error
                         << ")";
        }
        EXPECT_EQ(file_size_or_zero(path.c_str()), size);
        DeleteFileA(path.c_str());
    }
}

bool always()
{
    return true;
}
bool never()
{
    return false;
}

DWORD WINAPI end_from_other_thread(void*)
{
    end_stoppable_child();
    return 0;
}

TEST(PipeCollector, TakesAllAChildPrintsWhileItRunsSoItNeverBlocks)
{
    // A mebibyte in small pieces: far more than the pipe holds.
    child_run child;
    start_emit("out=1048576/4096 exit=5", &child);
    bool ended = false;
    for (int look = 0; look < 240 && !ended; ++look) // at most a minute
        ended = child_ended_within(&child, 250);
    if (!ended)
        TerminateProcess(child.process.hProcess, 1); // blocked on the full pipe
    child_outcome outcome = finish_child(&child);
    ASSERT_TRUE(ended) << "the child did not end";
    EXPECT_EQ(std::strlen(outcome.output), 1048576u);
    EXPECT_TRUE(std::string(outcome.output) == pattern(EMIT_STDOUT, 1048576));
    free_outcome(&outcome);
    EXPECT_EQ(outcome.code, 5u);
}

TEST(ReadOnlyChild, EndedFromAnotherThreadOrAtOnceWhenItsRunIsOver)
{
    // Ended by the other thread while it runs.
    child_run child;
    start_emit("sleep=60000", &child, child_stream::OUTPUT, always);
    HANDLE ender = CreateThread(nullptr, 0, end_from_other_thread, nullptr, 0, nullptr);
    ASSERT_NE(ender, nullptr);
    EXPECT_EQ(WaitForSingleObject(child.process.hProcess, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(ender, 10000);
    CloseHandle(ender);
    child_outcome outcome = finish_child(&child);
    EXPECT_TRUE(outcome.ended_early);
    free_outcome(&outcome);

    // A run that is over before the child starts: ended at once.
    CommandLine line = emit_command("sleep=60000 exit=0");
    outcome = run_child(line.text, child_stream::NONE, never);
    EXPECT_TRUE(outcome.ended_early);
    EXPECT_NE(outcome.code, 0u);
    free_outcome(&outcome);

    // Left alone, it runs to its end, and nothing is left to end afterwards.
    line = emit_command("sleep=300 exit=2");
    outcome = run_child(line.text, child_stream::OUTPUT, always);
    EXPECT_FALSE(outcome.ended_early);
    EXPECT_EQ(outcome.code, 2u);
    free_outcome(&outcome);
    end_stoppable_child(); // nothing marked: no effect

    // A child that writes is never ended from the other thread.
    start_emit("sleep=1000 exit=3", &child);
    end_stoppable_child();
    EXPECT_FALSE(child_ended_within(&child, 300));
    outcome = finish_child(&child);
    EXPECT_FALSE(outcome.ended_early);
    EXPECT_EQ(outcome.code, 3u);
    free_outcome(&outcome);
}

TEST(StopChild, EndsAWritingChildAndWaitsForItsEnd)
{
    // No stream taken: a collector left behind would outlive this test under
    // Wine, whose console host keeps a stopped child's pipe open a while.
    child_run child;
    start_emit("sleep=60000 exit=0", &child, child_stream::NONE);
    child_outcome outcome = stop_child(&child);
    EXPECT_TRUE(outcome.ended_early);
    EXPECT_STREQ(outcome.output, "");
    EXPECT_EQ(outcome.code, 1u);
    EXPECT_FALSE(handle_is_open(child.process.hProcess));
    free_outcome(&outcome);
}

} // namespace
