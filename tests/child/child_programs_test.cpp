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

// Starts child_emit with `steps` through run_captured; gives the pipe.
HANDLE start_emit(const std::string& steps, PROCESS_INFORMATION* process, int selector = 0)
{
    CommandLine line = emit_command(steps);
    return run_captured(line.text, process, selector);
}

// The exit code take_exit_code stores.
DWORD taken_code(PROCESS_INFORMATION* process)
{
    DWORD code = 0xFFFFFFFF; // left so when no code is taken: no case expects it
    take_exit_code(process, &code);
    return code;
}

struct Captured {
    std::string text;    // up to the NUL that ends the block
    SIZE_T capacity = 0; // HeapSize: the size last asked of the heap for the block
    DWORD code = 0;
};

// Run and collect: run_captured, read_pipe_text at once, take_exit_code.
Captured capture(const std::string& steps, int selector)
{
    PROCESS_INFORMATION process;
    char* text = read_pipe_text(start_emit(steps, &process, selector));
    Captured result;
    result.text = text;
    result.capacity = HeapSize(GetProcessHeap(), 0, text);
    HeapFree(GetProcessHeap(), 0, text);
    result.code = taken_code(&process);
    return result;
}

// Reads the child's output to its end and drops it, then takes the exit code.
DWORD drain_and_take_code(HANDLE pipe, PROCESS_INFORMATION* process)
{
    HeapFree(GetProcessHeap(), 0, read_pipe_text(pipe));
    return taken_code(process);
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
    Captured c = capture("exit=0", 0);
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
        Captured c = capture("out=" + std::to_string(k.length), 0);
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
        Captured c = capture("out=65536/" + std::to_string(piece) + " exit=7", 0);
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
    Captured error = capture(steps, 1);
    EXPECT_EQ(error.text, pattern(EMIT_STDERR, 200));
    EXPECT_EQ(error.code, 5u);

    steps = "out=200/7 err=20 out=5 exit=5";
    Captured output = capture(steps, 0);
    EXPECT_EQ(output.text, pattern(EMIT_STDOUT, 205));
    EXPECT_EQ(output.code, 5u);
}

TEST(RunCaptured, ChildGetsNoWindowAndNothingButItsPipeAndTheNullDevice)
{
    // Whatever this program was started with is not passed on.
    std::string path = temp_path("startup_captured.txt");
    std::string handles = temp_path("handles_captured.txt");
    for (int selector : {CAPTURE_OUTPUT, CAPTURE_ERRORS, CAPTURE_BOTH}) {
        SCOPED_TRACE(selector);
        PROCESS_INFORMATION process;
        HANDLE pipe =
            start_emit("\"startup=" + path + "\" \"handles=" + handles + "\"", &process, selector);
        DWORD flags = 0;
        ASSERT_TRUE(GetHandleInformation(pipe, &flags));
        EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u) << "the installer's end is inheritable";
        EXPECT_EQ(drain_and_take_code(pipe, &process), 0u);
        EXPECT_EQ(read_file(path), "flags=257 show=0");
        const char* expected[] = {"in=2 out=3 err=2 window=0", "in=2 out=2 err=3 window=0",
                                  "in=2 out=3 err=3 window=0"};
        EXPECT_EQ(read_file(handles), expected[selector]);
    }
    DeleteFileA(path.c_str());
    DeleteFileA(handles.c_str());
}

TEST(TakeExitCode, ChildThatClosedItsOutputGivesTheCodeItEndsWithAndHandlesAreClosed)
{
    PROCESS_INFORMATION process;
    HANDLE pipe = start_emit("out=50 close-out sleep=1500 exit=6", &process);
    char* text = read_pipe_text(pipe);
    EXPECT_EQ(std::string(text), pattern(EMIT_STDOUT, 50));
    HeapFree(GetProcessHeap(), 0, text);
    EXPECT_FALSE(handle_is_open(pipe));

    // Read at once, the code would be 259 (still running).
    EXPECT_EQ(taken_code(&process), 6u);
    EXPECT_FALSE(handle_is_open(process.hThread));
    EXPECT_FALSE(handle_is_open(process.hProcess));
}

TEST(WaitChild, GivesUpAfterTheTimeAndReturnsAsSoonAsTheChildEnds)
{
    PROCESS_INFORMATION process;
    HANDLE pipe = start_emit("sleep=1500 exit=4", &process);
    ULONGLONG start = GetTickCount64();

    EXPECT_EQ(wait_child(&process, 250), 0);
    ULONGLONG first = GetTickCount64() - start;
    EXPECT_GE(first, 230u);
    EXPECT_LT(first, 1400u);

    EXPECT_EQ(wait_child(&process, 20000), 1);
    ULONGLONG ended = GetTickCount64() - start;
    EXPECT_GE(ended, 1400u);
    EXPECT_LT(ended, 10000u) << "waited out the time instead of the child";

    ULONGLONG again = GetTickCount64();
    EXPECT_EQ(wait_child(&process, 20000), 1);
    EXPECT_LT(GetTickCount64() - again, 1000u);

    EXPECT_EQ(drain_and_take_code(pipe, &process), 4u);
}

TEST(RunAndWait, PassesExitCodesThroughUnchanged)
{
    for (DWORD expected : {0u, 2u, 3u, 77u, 259u, 4000000000u}) {
        SCOPED_TRACE(expected);
        CommandLine line = emit_command("exit=" + std::to_string(expected));
        EXPECT_EQ(run_and_wait(line.text), expected);
    }
}

TEST(RunAndWait, ReturnsOnlyWhenTheChildHasEnded)
{
    CommandLine line = emit_command("sleep=2000 exit=2");
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(run_and_wait(line.text), 2u);
    EXPECT_GE(GetTickCount64() - start, 1990u);
}

TEST(RunAndWait, ChildGetsNoWindowAndTheNullDeviceForItsStandardHandles)
{
    std::string path = temp_path("startup_waited.txt");
    std::string handles = temp_path("handles_waited.txt");
    CommandLine line = emit_command("\"startup=" + path + "\" \"handles=" + handles + "\"");
    EXPECT_EQ(run_and_wait(line.text), 0u);
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
    PROCESS_INFORMATION process;
    HANDLE pipe = start_emit(steps, &process);

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
        EXPECT_EQ(wait_child(&process, 0), 0);
        SetEvent(go_event);
    }

    EXPECT_EQ(wait_child(&process, 30000), 1);
    EXPECT_EQ(drain_and_take_code(pipe, &process), 0u);
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
    end_read_only_child();
    return 0;
}

TEST(PipeCollector, TakesAllAChildPrintsWhileItRunsSoItNeverBlocks)
{
    // A mebibyte in small pieces: far more than the pipe holds.
    PROCESS_INFORMATION process;
    pipe_collector* output = collect_pipe(start_emit("out=1048576/4096 exit=5", &process));
    int ended = 0;
    for (int look = 0; look < 240 && !ended; ++look) // at most a minute
        ended = wait_child(&process, 250);
    if (ended != 1)
        TerminateProcess(process.hProcess, 1); // blocked on the full pipe
    ASSERT_EQ(ended, 1) << "the child did not end";
    char* text = collected_text(output);
    EXPECT_EQ(std::strlen(text), 1048576u);
    EXPECT_TRUE(std::string(text) == pattern(EMIT_STDOUT, 1048576));
    HeapFree(GetProcessHeap(), 0, text);
    EXPECT_EQ(taken_code(&process), 5u);
}

TEST(ReadOnlyChild, EndedFromAnotherThreadOrAtOnceWhenItsRunIsOver)
{
    // Ended by the other thread while it is watched.
    PROCESS_INFORMATION process;
    HANDLE pipe = start_emit("sleep=60000", &process);
    watch_read_only_child(process.hProcess, always);
    HANDLE ender = CreateThread(nullptr, 0, end_from_other_thread, nullptr, 0, nullptr);
    ASSERT_NE(ender, nullptr);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(ender, 10000);
    CloseHandle(ender);
    EXPECT_TRUE(unwatch_read_only_child());
    drain_and_take_code(pipe, &process);

    // A run that is over before the child is watched: ended at once.
    pipe = start_emit("sleep=60000", &process);
    watch_read_only_child(process.hProcess, never);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(unwatch_read_only_child());
    drain_and_take_code(pipe, &process);

    // Left alone, it runs to its end, and nothing is left to end afterwards.
    pipe = start_emit("sleep=300 exit=2", &process);
    watch_read_only_child(process.hProcess, always);
    HeapFree(GetProcessHeap(), 0, read_pipe_text(pipe));
    EXPECT_FALSE(unwatch_read_only_child());
    end_read_only_child(); // nothing marked: no effect
    EXPECT_EQ(taken_code(&process), 2u);

    // The same through run_and_wait.
    next_child_only_reads(never);
    CommandLine line = emit_command("sleep=60000 exit=0");
    EXPECT_NE(run_and_wait(line.text), 0u);
    EXPECT_TRUE(last_child_ended_early());
    line = emit_command("exit=3");
    EXPECT_EQ(run_and_wait(line.text), 3u);
    EXPECT_FALSE(last_child_ended_early());
}

} // namespace
