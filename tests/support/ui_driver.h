#pragma once
// Drives the installer from a second process: starts it, finds its windows,
// reads and sets control texts, clicks, answers message boxes. Texts are
// bytes in code page 936, as the installer shows them.
#include <windows.h>

#include <string>
#include <vector>

struct app_process {
    PROCESS_INFORMATION pi = {};
    bool started = false;
};

// Starts `exe` (a full path) with `current` as the current folder, its own
// folder when that is empty.
bool start_app(app_process* app, const std::string& exe, const std::string& args = "",
               const std::string& current = "");
// Exit code after the process ended within `ms`; STILL_ACTIVE on time-out.
DWORD wait_exit(app_process* app, DWORD ms);
// The processes `app` started whose program is `exe` (for instance "7z.exe").
std::vector<DWORD> children_named(const app_process* app, const char* exe);
// Ends the process, and every process it started, and closes its handles.
void stop_app(app_process* app);

// A visible top-level dialog window (#32770) of process `pid` whose owner is
// `owner` (null: any owner), waited for up to `ms`.
HWND wait_dialog(DWORD pid, HWND owner, DWORD ms);
// The same, also matching the window title.
HWND wait_dialog_titled(DWORD pid, const std::string& title, DWORD ms);
// Every visible top-level dialog of process `pid`.
std::vector<HWND> dialogs_of(DWORD pid);

std::string window_text(HWND window);
std::string control_text(HWND dialog, int id);
void set_control_text(HWND dialog, int id, const std::string& text);
// The same for a text that code page 936 cannot spell.
void set_control_text(HWND dialog, int id, const std::wstring& text);
// Posts a click, so that a modal window it opens does not block the driver.
void click(HWND dialog, int id);
// Selects entry `index` of a combo box and tells the dialog, as a user's choice would.
void select_combo(HWND dialog, int id, int index);
int combo_count(HWND dialog, int id);
int combo_selection(HWND dialog, int id);
std::string combo_entry(HWND dialog, int id, int index);
// The control that has the keyboard focus in the thread that owns `window`.
HWND focus_of(HWND window);
// Posts a key press and release to `window` (normally the focused control).
void press_key(HWND window, UINT vk);

// Message boxes: the text, whether an icon shows, and answering with a button.
std::string message_box_text(HWND box);
bool message_box_has_icon(HWND box);
void answer(HWND box, int button_id = IDOK);

inline void sleep_a_little()
{
    Sleep(20);
}

// Waits until `condition` holds or `ms` passed, calling `pause` between two
// looks; returns the last result.
template <typename F> bool wait_until(F condition, DWORD ms, void (*pause)() = sleep_a_little)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > ms)
            return false;
        pause();
    }
}

inline bool starts_with(const std::string& s, const std::string& head)
{
    return s.compare(0, head.size(), head) == 0;
}
inline bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A whole file's bytes ("" when it cannot be read), and writing one anew
// (also over a read-only, hidden or system file).
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
// Deletes a file, also a read-only, hidden or system one.
void remove_file(const std::string& path);

// The system's text for `error` as the installer fetches it ("" when there is none).
std::string system_text(DWORD error);
// Code page 936 bytes of a UTF-8 text (the test's own expectations are UTF-8).
std::string cp936(const char* utf8);
// The folder that holds this test program, with a trailing backslash.
std::string own_folder();
