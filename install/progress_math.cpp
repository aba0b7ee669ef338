#include "install/progress_math.h"

#include <climits>
#include <cstdint>

int64_t space_need_mib(int64_t total)
{
    // (total + 1) >> 20 without overflowing at the top of the range.
    return (total >> 20) + (((total & 0xfffff) + 1) >> 20);
}

bool space_is_enough(uint64_t free_bytes, int64_t total)
{
    return free_bytes >= static_cast<uint64_t>(space_need_mib(total)) * 1048576u;
}

int space_message_mib(int64_t total)
{
    int64_t mib = total >> 20;
    return mib > INT_MAX ? INT_MAX : static_cast<int>(mib);
}

int extraction_bar_position(int64_t current, int64_t done, int64_t total)
{
    if (total <= 0)
        return BAR_UNCHANGED;
    uint64_t sum = static_cast<uint64_t>(current < 0 ? 0 : current) +
                   static_cast<uint64_t>(done < 0 ? 0 : done);
    uint64_t whole = sum / static_cast<uint64_t>(total);
    if (whole >= 2)
        return BAR_COMPLETE;
    // sum * 90 / total as whole * 90 plus the remainder's share; the remainder
    // is added 90 times so that no product can overflow: each partial sum
    // stays below 2 * total, which fits in 64 unsigned bits.
    uint64_t rest = sum % static_cast<uint64_t>(total);
    uint64_t position = whole * BAR_FILES_IN_PLACE;
    uint64_t carry = 0;
    for (int i = 0; i < BAR_FILES_IN_PLACE; ++i) {
        carry += rest;
        if (carry >= static_cast<uint64_t>(total)) {
            carry -= static_cast<uint64_t>(total);
            ++position;
        }
    }
    return position > BAR_COMPLETE ? BAR_COMPLETE : static_cast<int>(position);
}

int run_bar_position(int64_t extracted, int64_t verified, int64_t total)
{
    if (total <= 0)
        return BAR_UNCHANGED;
    auto held = [total](int64_t n) { return n < 0 ? 0 : n > total ? total : n; };
    extracted = held(extracted);
    verified = held(verified);
    // Three times the total must fit; sizes that large lose nothing visible
    // when counted in quarters.
    if (total > INT64_MAX / 3) {
        extracted >>= 2;
        verified >>= 2;
        total >>= 2;
    }
    // A byte written counts twice what one read back does.
    static_assert(BAR_FILES_WRITTEN * 3 == BAR_FILES_IN_PLACE * 2, "written and read-back shares");
    return extraction_bar_position(2 * extracted + verified, 0, 3 * total);
}
