#include "install/boot_manager_entry.h"

#include <windows.h>

#include <cstdint>
#include <initializer_list>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "install/bcd_text.h"
#include "install/progress_dialog.h"
#include "resources/resource_ids.h"

namespace {

// Beside C:\g2ldr: the identifier of the entry this installer made, so that
// a second run finds its own entry and no one else's.
const char ENTRY_ID_PATH[] = "C:\\g2ldr.id";

constexpr DWORD LOADER_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The boot manager's time-out in the system store, as the registry shows the
// store: the element 0x25000004 of {bootmgr}. bcdedit would print it under a
// label in the display language.
const wchar_t TIMEOUT_KEY[] = L"BCD00000000\\Objects\\{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
                              L"\\Elements\\25000004";

// Runs "bcdedit `arguments`"; *output gets what it printed (process heap).
// Gives its exit code, taken once it has ended.
DWORD run_bcdedit(const char* arguments, char** output)
{
    char command[TEXT_BUFFER_SIZE];
    compose_text(command, sizeof command, "bcdedit %s", arguments);
    PROCESS_INFORMATION child;
    HANDLE pipe = run_captured(command, &child, CAPTURE_BOTH);
    *output = read_pipe_text(pipe);
    wait_child(&child, INFINITE);
    DWORD code = 0;
    take_exit_code(&child, &code);
    return code;
}

// One bcdedit step whose failure ends the run: "失败" and what it printed.
bool bcdedit_step(const char* format, const char* id)
{
    char arguments[TEXT_BUFFER_SIZE];
    compose_text(arguments, sizeof arguments, format, id);
    char* output = nullptr;
    DWORD code = run_bcdedit(arguments, &output);
    return child_succeeded(code, output);
}

// The entry an earlier run remembered, when the store still has it.
bool remembered_entry(char* id)
{
    char text[BCD_ID_SIZE + 8] = "";
    HANDLE file = CreateFileA(ENTRY_ID_PATH, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD read = 0;
    BOOL ok = ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    if (!ok || !find_bcd_identifier(text, id))
        return false;
    char arguments[64];
    compose_text(arguments, sizeof arguments, "/enum %s", id);
    char* output = nullptr;
    DWORD code = run_bcdedit(arguments, &output);
    HeapFree(GetProcessHeap(), 0, output);
    return code == 0;
}

bool remember_entry(const char* id)
{
    SetFileAttributesA(ENTRY_ID_PATH, FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(ENTRY_ID_PATH, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char line[BCD_ID_SIZE + 2];
    compose_text(line, sizeof line, "%s\r\n", id);
    DWORD written = 0;
    BOOL ok = WriteFile(file, line, lstrlenA(line), &written, nullptr);
    DWORD error = GetLastError();
    CloseHandle(file);
    SetFileAttributesA(ENTRY_ID_PATH, LOADER_ATTRIBUTES);
    SetLastError(error);
    return ok && written == static_cast<DWORD>(lstrlenA(line));
}

// The boot manager's time-out in seconds; -1 when the store does not say.
int64_t boot_manager_timeout()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TIMEOUT_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return -1;
    uint64_t value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG result =
        RegQueryValueExW(key, L"Element", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_BINARY || size != sizeof value)
        return -1;
    return static_cast<int64_t>(value);
}

// The steps after the entry exists: where it starts, its place in the menu,
// the note of its identifier, the time-out.
step_outcome complete_entry(const char* id)
{
    for (const char* format :
         {"/set %s device partition=C:", "/set %s path \\g2ldr.mbr", "/displayorder %s /addlast"})
        if (!bcdedit_step(format, id))
            return step_failed();
    if (!remember_entry(id)) {
        DWORD error = GetLastError();
        log_string(IDS_FAILED);
        SetLastError(error);
        log_append(last_error_text());
        log_append("\r\n");
        return step_failed();
    }
    log_string(IDS_DONE);

    // A time-out of 0 starts Windows at once, and the new entry would never show.
    log_string(IDS_CHECKING_BOOT_MENU_TIMEOUT);
    if (boot_manager_timeout() == 0 && !bcdedit_step("/timeout 5", ""))
        return step_failed();
    log_string(IDS_DONE);
    return STEP_DONE;
}

// Takes back an entry of this run; says so when the store keeps it.
void delete_entry(const char* id)
{
    char arguments[64];
    compose_text(arguments, sizeof arguments, "/delete %s", id);
    char* output = nullptr;
    DWORD code = run_bcdedit(arguments, &output);
    HeapFree(GetProcessHeap(), 0, output);
    if (code != 0)
        log_text(IDS_BOOT_MENU_ENTRY_LEFT, id);
    SetFileAttributesA(ENTRY_ID_PATH, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(ENTRY_ID_PATH);
}

} // namespace

step_outcome add_boot_manager_entry()
{
    log_string(IDS_ADDING_BOOT_MENU_ENTRY);
    char id[BCD_ID_SIZE];
    bool created = false;
    if (!remembered_entry(id)) {
        char* output = nullptr;
        DWORD code =
            run_bcdedit("/create /d \"Kavel Linux (tovkast)\" /application bootsector", &output);
        // Without an identifier there is nothing to go on with, or to take back.
        if (!find_bcd_identifier(output, id) && code == 0)
            code = 1;
        if (!child_succeeded(code, output))
            return step_failed();
        created = true;
    }
    step_outcome outcome = complete_entry(id);
    if (outcome.end == STEP_FAILED && created)
        delete_entry(id);
    return outcome;
}
