// Times refills of the installer's drive list: starts the installer beside
// this program, sends its main dialog the list's drop-down notice N times
// (argument 1, default 200) and prints how long each round trip took. A
// trivial request to the same list is timed too, as the cost of the round
// trip alone. Prints figures only; judges nothing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "installer_session.h"
#include "resources/resource_ids.h"

namespace {

struct figures {
    double min, median, mean, p90, max;
};

figures summary(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    size_t n = ms.size();
    return {ms.front(), ms[n / 2], sum / n, ms[(n * 9) / 10], ms.back()};
}

void print(const char* what, const figures& f)
{
    std::printf("%-34s min %8.3f  median %8.3f  mean %8.3f  p90 %8.3f  max %8.3f ms\n", what, f.min,
                f.median, f.mean, f.p90, f.max);
}

template <typename F> std::vector<double> time_each(int n, F send)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        QueryPerformanceCounter(&start);
        send();
        QueryPerformanceCounter(&end);
        ms.push_back(1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    int n = argc > 1 ? std::atoi(argv[1]) : 200;
    if (n < 1)
        n = 1;
    installer_session installer;
    if (!installer.open()) {
        std::fprintf(stderr, "the installer's main dialog did not open\n");
        return 1;
    }
    HWND dialog = installer.main;
    HWND list = GetDlgItem(dialog, IDC_DRIVE_LIST);

    std::vector<std::string> entries = drive_entries(dialog);
    std::printf("drives offered: %u:", static_cast<unsigned>(entries.size()));
    for (const std::string& e : entries)
        std::printf(" \"%s\"", e.c_str());
    std::printf("\n");

    // One refill first, so that the first figure is not a cold start.
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_DROPDOWN),
                 reinterpret_cast<LPARAM>(list));
    auto refills = time_each(n, [&] {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_DROPDOWN),
                     reinterpret_cast<LPARAM>(list));
    });
    auto round_trips = time_each(n, [&] { SendMessageA(list, CB_GETCOUNT, 0, 0); });

    std::printf("%d sends each\n", n);
    print("refill (CBN_DROPDOWN)", summary(refills));
    print("round trip alone (CB_GETCOUNT)", summary(round_trips));
    figures f = summary(refills);
    if (!entries.empty())
        std::printf("%-34s %8.3f ms\n", "median refill per offered drive",
                    f.median / entries.size());
    if (static_cast<size_t>(combo_count(dialog, IDC_DRIVE_LIST)) != entries.size())
        std::printf("note: the list changed while timing (%d entries now)\n",
                    combo_count(dialog, IDC_DRIVE_LIST));
    return installer.leave() ? 0 : 1;
}
