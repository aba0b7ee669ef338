// The string table ring and the failure report, in process and from outside.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "frame/app.h"
#include "installer_session.h"
#include "resources/resource_ids.h"

namespace {

TEST(StringRing, SixteenSlotsRotateAndTheSeventeenthFetchReusesTheFirst)
{
    const wchar_t* first = load_res_string(IDS_CAP_ERROR);
    std::wstring held = first;
    const wchar_t* ring[16];
    for (int i = 0; i < 15; ++i)
        ring[i] = load_res_string(IDS_PROGRESS_TITLE);
    // Held across 15 further fetches: still intact, every slot distinct.
    EXPECT_EQ(std::wstring(first), held);
    for (int i = 0; i < 15; ++i)
        EXPECT_NE(ring[i], first);
    const wchar_t* again = load_res_string(IDS_CAP_HELP);
    EXPECT_EQ(again, first);
    EXPECT_NE(std::wstring(first), held);
}

TEST(StringRing, SixteenFetchesUseEverySlotOnce)
{
    const wchar_t* slots[16];
    for (auto& s : slots)
        s = load_res_string(IDS_MAIN_TITLE);
    const wchar_t* lowest = slots[0];
    for (auto* s : slots)
        if (s < lowest)
            lowest = s;
    std::ptrdiff_t stride = 1024;
    // Every slot is used exactly once over 16 fetches.
    bool seen[16] = {};
    for (auto* s : slots) {
        std::ptrdiff_t k = (s - lowest) / stride;
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 16);
        EXPECT_FALSE(seen[k]);
        seen[k] = true;
    }
}

TEST(StringRing, TwoThreadsFetchingAtOnceNeverShareASlotStep)
{
    // Both threads advance one shared counter: after N fetches in all, the
    // next slot is exactly N steps on, whatever the interleaving.
    const wchar_t* before = load_res_string(IDS_DONE);
    constexpr int per_thread = 4000;
    static constexpr int cycle[] = {IDS_FAILED, IDS_CANCELLED, IDS_DONE};
    auto fetch = [] {
        for (int i = 0; i < per_thread; ++i)
            load_res_string(cycle[i % 3]);
    };
    std::thread a(fetch), b(fetch);
    a.join();
    b.join();
    const wchar_t* after = load_res_string(IDS_DONE);
    // 2 * 4000 + 1 fetches later: 8001 % 16 == 1 slot on from `before`.
    EXPECT_EQ((after - before + 16 * 1024) % (16 * 1024), 1024);
}

TEST(ErrorText, GivesTheSystemTextWithItsLineEndAndATextForUnknownNumbers)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::wstring known = last_error_text();
    EXPECT_GT(known.size(), 2u);
    EXPECT_EQ(known.substr(known.size() - 2), L"\r\n");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    SetLastError(0x2F00BEEF);
    std::wstring unknown = last_error_text();
    EXPECT_NE(unknown.find(L"788578031"), std::wstring::npos);
    EXPECT_EQ(unknown.substr(unknown.size() - 2), L"\r\n");
}

struct probe_result {
    std::string title, text;
    DWORD exit_code;
};

probe_result run_probe(const char* number)
{
    probe_result r = {"", "", STILL_ACTIVE};
    app_process app;
    if (!start_app(&app, own_folder() + "string_probe.exe", number))
        return r;
    HWND box = wait_dialog(app.pi.dwProcessId, nullptr, WAIT_MS);
    if (box != nullptr) {
        r.title = window_text(box);
        r.text = message_box_text(box);
        answer(box);
    }
    r.exit_code = wait_exit(&app, WAIT_MS);
    stop_app(&app);
    return r;
}

TEST(LoadStringFailure, ANumberOutsideTheTableShowsErrorAndEndsWithThree)
{
    for (const char* number : {"999", "0"}) {
        probe_result r = run_probe(number);
        EXPECT_EQ(r.title, "Error") << number;
        EXPECT_EQ(r.text.rfind("LoadString (", 0), 0u) << r.text;
        // The number in decimal, then the system text with its line end.
        EXPECT_NE(r.text.find("): "), std::string::npos) << r.text;
        EXPECT_EQ(r.text.substr(r.text.size() - 2), "\r\n") << r.text;
        EXPECT_EQ(r.exit_code, 3u) << number;
    }
}

TEST(StringRing, TheFirstFetchOfAProcessFillsSlotOne)
{
    // The probe reports the first fetch's slot, counted from slot 0, which
    // the sixteenth fetch uses.
    app_process app;
    ASSERT_TRUE(start_app(&app, own_folder() + "string_probe.exe", "ring"));
    EXPECT_EQ(wait_exit(&app, WAIT_MS), 1u);
    stop_app(&app);
}

TEST(LoadStringFailure, ANumberInTheTableLoadsAndTheProgramGoesOn)
{
    probe_result r = run_probe("40");
    EXPECT_EQ(r.title, "string probe");
    EXPECT_EQ(r.text.rfind(cp936("欢迎到"), 0), 0u);
    EXPECT_EQ(r.exit_code, 0u);
}

} // namespace
