#pragma once
// The drives that the drive list and drive log tests add to the prefix: of the
// kinds the installer offers and those it leaves out, among them the fixed
// volumes that do not answer, which take the most setting up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "wine_drives.h"

// Adds A: (removable, FLOPPYA), J: and K: (fixed, SHUT and MUTE: a volume that
// cannot be opened and one that refuses the bus query, their devices named
// with `prefix`), L: (fixed, SPARE) and the test's own `others`, in letter
// order, once it is sure that none of their letters is a drive yet.
inline testing::AssertionResult add_mixed_drives(added_drives& added, const std::string& prefix,
                                                 const std::vector<drive_spec>& others)
{
    std::string letters = "AJKL";
    for (const drive_spec& d : others)
        letters += d.letter;
    if (char taken = first_present(letters.c_str()))
        return testing::AssertionFailure() << taken << ": is taken in this environment";
    silent_devices silent = make_silent_devices(prefix);
    std::vector<drive_spec> drives = {{'A', DRIVE_REMOVABLE, "FLOPPYA"},
                                      {'J', DRIVE_FIXED, "SHUT", silent.shut},
                                      {'K', DRIVE_FIXED, "MUTE", silent.mute},
                                      {'L', DRIVE_FIXED, "SPARE"}};
    drives.insert(drives.end(), others.begin(), others.end());
    std::sort(drives.begin(), drives.end(),
              [](const drive_spec& a, const drive_spec& b) { return a.letter < b.letter; });
    if (!added.add(drives))
        return testing::AssertionFailure() << "added " << added.letters;
    return testing::AssertionSuccess();
}
