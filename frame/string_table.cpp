#include <atomic>

#include "frame/app.h"
#include "frame/exit_codes.h"

namespace {

constexpr unsigned SLOT_COUNT = 16;
// Written by whichever thread fetches a text into its slot, and read by that
// caller; the rotation keeps the two threads off each other's slots.
wchar_t slots[SLOT_COUNT][TEXT_BUFFER_SIZE];
// Counts fetches; both threads fetch, so each fetch takes its own step.
std::atomic<unsigned> slot_counter{0};

} // namespace

const wchar_t* load_res_string(int id)
{
    // The counter wraps at a multiple of 16, so slots keep their rotation.
    unsigned slot = (slot_counter.fetch_add(1) + 1) % SLOT_COUNT;
    wchar_t* text = slots[slot];
    if (LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), text, TEXT_BUFFER_SIZE) == 0)
        fail_api("LoadString");
    return text;
}
