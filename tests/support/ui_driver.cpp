#include "ui_driver.h"

#include <tlhelp32.h>

#include <fstream>
#include <sstream>

bool start_app(app_process* app, const std::string& exe, const std::string& args,
               const std::string& current)
{
    std::string folder = current.empty() ? exe.substr(0, exe.find_last_of('\\')) : current;
    std::string command = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    app->started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  folder.c_str(), &si, &app->pi) != FALSE;
    if (app->started)
        WaitForInputIdle(app->pi.hProcess, 10000);
    return app->started;
}

DWORD wait_exit(app_process* app, DWORD ms)
{
    if (!app->started)
        return STILL_ACTIVE;
    if (WaitForSingleObject(app->pi.hProcess, ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(app->pi.hProcess, &code);
    return code;
}

namespace {

ULONGLONG started_at(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

struct child_process {
    DWORD id;
    ULONGLONG started;
    std::string exe;
};

// The processes started by `parent`. Process ids are reused: a process only
// counts as a child when it began after the parent did (the system's own
// processes name long-gone parents whose ids a test program may have got since).
std::vector<child_process> children_of(DWORD parent, ULONGLONG parent_start)
{
    std::vector<child_process> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parent || entry.th32ProcessID == parent)
            continue;
        HANDLE child = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        if (child == nullptr)
            continue;
        ULONGLONG child_start = started_at(child);
        CloseHandle(child);
        if (parent_start != 0 && child_start >= parent_start)
            found.push_back({entry.th32ProcessID, child_start, entry.szExeFile});
    }
    CloseHandle(snapshot);
    return found;
}

// Ends every process started by `parent`, and theirs, so that nothing a test
// started outlives it.
void end_children(DWORD parent, ULONGLONG parent_start)
{
    for (const child_process& c : children_of(parent, parent_start)) {
        end_children(c.id, c.started);
        HANDLE child = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, c.id);
        if (child == nullptr)
            continue;
        TerminateProcess(child, 1);
        WaitForSingleObject(child, 5000);
        CloseHandle(child);
    }
}

} // namespace

std::vector<DWORD> children_named(const app_process* app, const char* exe)
{
    std::vector<DWORD> found;
    if (!app->started)
        return found;
    for (const child_process& c : children_of(app->pi.dwProcessId, started_at(app->pi.hProcess)))
        if (lstrcmpiA(c.exe.c_str(), exe) == 0)
            found.push_back(c.id);
    return found;
}

void stop_app(app_process* app)
{
    if (!app->started)
        return;
    end_children(app->pi.dwProcessId, started_at(app->pi.hProcess));
    if (WaitForSingleObject(app->pi.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(app->pi.hProcess, 1);
        WaitForSingleObject(app->pi.hProcess, 5000);
    }
    CloseHandle(app->pi.hThread);
    CloseHandle(app->pi.hProcess);
    app->started = false;
}

namespace {

struct dialog_search {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_dialog(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<dialog_search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == search->pid && IsWindowVisible(window) && lstrcmpA(cls, "#32770") == 0)
        search->found.push_back(window);
    return TRUE;
}

std::wstring wide(UINT code_page, const std::string& text)
{
    int n = MultiByteToWideChar(code_page, 0, text.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(code_page, 0, text.c_str(), -1, &w[0], n);
    w.resize(n > 0 ? n - 1 : 0);
    return w;
}

std::string narrow(UINT code_page, const std::wstring& text)
{
    int n = WideCharToMultiByte(code_page, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(code_page, 0, text.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? n - 1 : 0);
    return s;
}

} // namespace

std::vector<HWND> dialogs_of(DWORD pid)
{
    dialog_search search = {pid, {}};
    EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

namespace {

// The first dialog of `pid` for which `match` holds, waited for up to `ms`.
template <typename F> HWND wait_dialog_where(DWORD pid, DWORD ms, F match)
{
    HWND result = nullptr;
    wait_until(
        [&] {
            for (HWND w : dialogs_of(pid))
                if (match(w)) {
                    result = w;
                    return true;
                }
            return false;
        },
        ms);
    return result;
}

} // namespace

HWND wait_dialog(DWORD pid, HWND owner, DWORD ms)
{
    return wait_dialog_where(
        pid, ms, [&](HWND w) { return owner == nullptr || GetWindow(w, GW_OWNER) == owner; });
}

HWND wait_dialog_titled(DWORD pid, const std::string& title, DWORD ms)
{
    return wait_dialog_where(pid, ms, [&](HWND w) { return window_text(w) == title; });
}

std::string window_text(HWND window)
{
    // The W message, converted here: the A form across processes is not reliable.
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::wstring buf(length + 1, L'\0');
    DWORD_PTR n = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&buf[0]),
                        SMTO_ABORTIFHUNG, 5000, &n);
    buf.resize(n);
    return narrow(936, buf);
}

std::string control_text(HWND dialog, int id)
{
    return window_text(GetDlgItem(dialog, id));
}

void set_control_text(HWND dialog, int id, const std::string& text)
{
    std::wstring w = wide(936, text);
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
}

void set_control_text(HWND dialog, int id, const std::wstring& text)
{
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void click(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void select_combo(HWND dialog, int id, int index)
{
    HWND combo = GetDlgItem(dialog, id);
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

int combo_count(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0));
}

int combo_selection(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

std::string combo_entry(HWND dialog, int id, int index)
{
    wchar_t buf[1024] = L"";
    LRESULT n = SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buf));
    return n < 0 ? std::string() : narrow(936, std::wstring(buf, n));
}

HWND focus_of(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

void press_key(HWND window, UINT vk)
{
    UINT scan = MapVirtualKeyA(vk, 0);
    PostMessageA(window, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
}

namespace {
// The message box's text and icon controls.
constexpr int BOX_TEXT_ID = 0xFFFF;
constexpr int BOX_ICON_ID = 0x440;
} // namespace

std::string message_box_text(HWND box)
{
    return control_text(box, BOX_TEXT_ID);
}

bool message_box_has_icon(HWND box)
{
    HWND icon = GetDlgItem(box, BOX_ICON_ID);
    if (icon == nullptr)
        icon = GetDlgItem(box, 0x14);
    return icon != nullptr && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
}

void answer(HWND box, int button_id)
{
    HWND button = GetDlgItem(box, button_id);
    if (button != nullptr)
        PostMessageA(button, BM_CLICK, 0, 0);
    else
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), 0);
}

std::string system_text(DWORD error)
{
    char* message = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = n != 0 && message ? std::string(message, n) : std::string();
    if (message)
        LocalFree(message);
    return text;
}

std::string cp936(const char* utf8)
{
    return narrow(936, wide(CP_UTF8, utf8));
}

std::string own_folder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path);
    return p.substr(0, p.find_last_of('\\') + 1);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& content)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(path, std::ios::binary) << content;
}

void remove_file(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}
