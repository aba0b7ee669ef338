// How long CreateProcess of "7z i" takes, to its return, depending on what the
// calling process holds: bare (like the bench's child sequence) and after it
// has shown a window with Chinese text (as the installer has when it starts
// its children), each with 0, 16 and 64 MiB more of its own memory written,
// the three in turn. Each line is the median and least of ROUNDS starts, the
// caller's resident memory, and the ratio of the median to the bare one's.
//
//   create_process_cost.exe [ROUNDS]
//
// 7z.exe must be beside this program.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "hidden_pipe.h"

namespace {

double started_ms()
{
    STARTUPINFOW startup;
    HANDLE read_end;
    HANDLE write_end;
    if (!hidden_pipe_startup(&startup, &read_end, &write_end))
        std::exit(2);
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wcscpy(std::wcsrchr(program, L'\\') + 1, L"7z.exe");
    wchar_t line[] = L"7z i";
    PROCESS_INFORMATION child;
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    BOOL ok = CreateProcessW(program, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &child);
    QueryPerformanceCounter(&after);
    CloseHandle(write_end);
    if (!ok) {
        std::printf("error: CreateProcess (%lu)\n", GetLastError());
        std::exit(1);
    }
    // Its listing is read to the end, so that it never waits on a full pipe.
    char piece[4096];
    DWORD n = 0;
    while (ReadFile(read_end, piece, sizeof piece, &n, nullptr) && n > 0) {
    }
    CloseHandle(read_end);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// The caller's resident memory in MiB, as the system counts it.
double resident_mib()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return static_cast<double>(counters.WorkingSetSize) / 1048576;
}

double bare_median = 0;

void print_line(const char* what, std::vector<double> ms, double resident)
{
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    if (bare_median == 0)
        bare_median = median;
    std::printf("%-26s median %5.2f ms, least %5.2f ms, resident %6.1f MiB, %.2f of bare\n", what,
                median, ms[0], resident, median / bare_median);
    std::fflush(stdout);
}

// One start with MIB more of the caller's memory written, which goes after.
double start_holding(int mib, double* resident)
{
    char* block = nullptr;
    SIZE_T size = static_cast<SIZE_T>(mib) << 20;
    if (mib > 0) {
        block = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
        if (block == nullptr)
            std::exit(2);
        for (SIZE_T i = 0; i < size; i += 4096)
            block[i] = 1;
    }
    *resident = resident_mib();
    double ms = started_ms();
    if (block != nullptr)
        VirtualFree(block, 0, MEM_RELEASE);
    return ms;
}

// The three holdings take turns in every round, so that they meet the same
// machine.
void measure_round(const char* caller, int rounds)
{
    constexpr int HELD_MIB[] = {0, 16, 64};
    std::vector<double> ms[3];
    double resident[3] = {};
    for (int i = 0; i < rounds; ++i)
        for (int k = 0; k < 3; ++k)
            ms[k].push_back(start_holding(HELD_MIB[k], &resident[k]));
    for (int k = 0; k < 3; ++k) {
        char what[64];
        if (HELD_MIB[k] == 0)
            std::snprintf(what, sizeof what, "%s", caller);
        else
            std::snprintf(what, sizeof what, "%s, %d MiB more", caller, HELD_MIB[k]);
        print_line(what, ms[k], resident[k]);
    }
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 31;
    if (rounds < 1)
        rounds = 1;
    // The first starts read 7z from disk; they are not counted.
    for (int i = 0; i < 5; ++i)
        started_ms();
    measure_round("bare", rounds);

    HWND window = CreateWindowExW(0, L"EDIT", L"\x6B63\x5728\x68C0\x67E5\x6620\x50CF",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                  nullptr, nullptr, nullptr);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    measure_round("with a window", rounds);
    DestroyWindow(window);
    return 0;
}
