#pragma once
// What the substitutes of the progress dialog's reporting (progress_record.cpp)
// and of the partition naming (grub_naming_script.cpp) saw and answer, for a
// test that runs the boot-loader set-up without the dialog and the disk.
#include <cstddef>
#include <string>
#include <vector>

extern std::string run_log;
extern std::vector<int> bar_positions;
extern int end_run_calls;
extern int checks_left;                  // run_goes_on answers true this many times
extern std::vector<const char*> namings; // what grub_device_of_drive answers, in turn
extern std::size_t naming_calls;

// Where each fixed-disk test starts: nothing recorded yet, a run that goes on,
// and both namings of the partition giving (hd0,1).
inline void reset_recorded_run()
{
    run_log.clear();
    bar_positions.clear();
    end_run_calls = 0;
    checks_left = 1000;
    namings = {"(hd0,1)", "(hd0,1)"};
    naming_calls = 0;
}
