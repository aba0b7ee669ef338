#include "install/bcdedit.h"

#include <windows.h>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"
#include "install/progress_dialog.h"
#include "resources/resource_ids.h"

namespace {

constexpr DWORD LOADER_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Runs "bcdedit `arguments`" to its end, with all it printed.
child_outcome run_bcdedit(const char* arguments)
{
    wchar_t command[TEXT_BUFFER_SIZE];
    compose_wide(command, TEXT_BUFFER_SIZE, L"bcdedit %hs", arguments);
    return run_child(command, child_stream::BOTH);
}

// The entry an earlier run remembered, when the store still has it.
bool remembered_entry(const char* id_path, char* id)
{
    char text[BCD_ID_SIZE + 8] = "";
    HANDLE file =
        CreateFileA(id_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD read = 0;
    BOOL ok = ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    if (!ok || !find_bcd_identifier(text, id))
        return false;
    char arguments[64];
    compose_text(arguments, sizeof arguments, "/enum %s", id);
    child_outcome listed = run_bcdedit(arguments);
    free_outcome(&listed);
    return listed.code == 0;
}

bool remember_entry(const char* id_path, const char* id)
{
    SetFileAttributesA(id_path, FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(id_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char line[BCD_ID_SIZE + 2];
    compose_text(line, sizeof line, "%s\r\n", id);
    DWORD written = 0;
    BOOL ok = WriteFile(file, line, lstrlenA(line), &written, nullptr);
    DWORD error = GetLastError();
    CloseHandle(file);
    SetFileAttributesA(id_path, LOADER_ATTRIBUTES);
    SetLastError(error);
    return ok && written == static_cast<DWORD>(lstrlenA(line));
}

// The steps after the entry exists, and the note of its identifier.
step_outcome complete_entry(const bcd_entry* entry, const char* id)
{
    for (std::size_t i = 0; i < entry->step_count; ++i)
        if (!bcdedit_step(entry->steps[i], id))
            return step_failed();
    if (!remember_entry(entry->id_path, id))
        return failed_for_system_reason();
    return STEP_DONE;
}

} // namespace

bool bcdedit_step(const char* format, const char* id)
{
    char arguments[TEXT_BUFFER_SIZE];
    compose_text(arguments, sizeof arguments, format, id);
    child_outcome step = run_bcdedit(arguments);
    return child_succeeded(step.code, step.output);
}

step_outcome add_bcd_entry(const bcd_entry* entry, char* id, bool* created)
{
    *created = false;
    if (!remembered_entry(entry->id_path, id)) {
        child_outcome made = run_bcdedit(entry->create);
        // Without an identifier there is nothing to go on with, or to take back.
        if (!find_bcd_identifier(made.output, id) && made.code == 0)
            made.code = 1;
        if (!child_succeeded(made.code, made.output))
            return step_failed();
        *created = true;
    }
    step_outcome outcome = complete_entry(entry, id);
    if (outcome.end == STEP_FAILED && *created)
        delete_bcd_entry(entry, id);
    return outcome;
}

void delete_bcd_entry(const bcd_entry* entry, const char* id)
{
    char arguments[64];
    compose_text(arguments, sizeof arguments, "/delete %s", id);
    child_outcome deleted = run_bcdedit(arguments);
    free_outcome(&deleted);
    if (deleted.code != 0)
        log_text<IDS_BOOT_MENU_ENTRY_LEFT>(widened(id).text);
    delete_file(entry->id_path);
}
