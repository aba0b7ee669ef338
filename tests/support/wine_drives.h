#pragma once
// Drives of the Wine prefix, added and removed while programs run. Wine's
// mount manager does it the way winecfg does: every process of the prefix
// sees the change at once, with the drive type asked for, and no server
// restart is needed (a restart would end the installer under test).
#include <windows.h>

#include <string>
#include <vector>

// Makes `letter` a drive of `type` (DRIVE_REMOVABLE, DRIVE_FIXED, ...) whose
// root is the Unix folder `unix_folder`. With `unix_device` the volume is
// also backed by that Unix file: a directory there makes the volume refuse
// to open, a plain file makes it refuse the bus query.
bool define_drive(char letter, UINT type, const std::string& unix_folder,
                  const std::string& unix_device = "");
// Takes drive `letter` away again, with its device link.
bool remove_drive(char letter);
bool drive_present(char letter);

// The Unix path Wine maps a Windows path to; empty when there is none.
std::string unix_path_of(const std::string& windows_path);

// A folder of the test's own (below its program's folder) to serve as the
// root of an added drive, with `label` as its volume label (none if empty).
// Returns the folder's Windows path.
std::string drive_folder(const std::string& name, const std::string& label);

// The first of `letters` that is a drive already; 0 when none is.
char first_present(const char* letters);

// Windows paths that back fixed volumes which do not answer: a folder (the
// volume cannot be opened) and a plain file (it opens but refuses
// IOCTL_STORAGE_QUERY_PROPERTY), their names starting with `prefix`.
struct silent_devices {
    std::string shut, mute;
};
silent_devices make_silent_devices(const std::string& prefix);

struct drive_spec {
    char letter;
    UINT type;
    const char* label;
    std::string device = ""; // as for define_drive
};

// Drives one test adds; whatever is still there is removed when it goes.
struct added_drives {
    std::string letters;
    ~added_drives();
    // Adds a drive rooted in a fresh folder with `label`; `device`, a Windows
    // path, backs the volume as for define_drive.
    bool add(char letter, UINT type, const std::string& label, const std::string& device = "");
    // Adds each in turn; false at the first that fails.
    bool add(const std::vector<drive_spec>& drives);
    bool remove(char letter);
};
