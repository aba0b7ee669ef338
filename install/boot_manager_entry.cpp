#include "install/boot_manager_entry.h"

#include <windows.h>

#include <cstdint>

#include "child/child_programs.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/exit_codes.h"
#include "install/bcdedit.h"
#include "install/progress_dialog.h"
#include "resources/resource_ids.h"

namespace {

// Starts C:\g2ldr.mbr, last in the boot manager's menu; remembered beside
// C:\g2ldr.
const char* const STEPS[] = {"/set %s device partition=C:", "/set %s path \\g2ldr.mbr",
                             "/displayorder %s /addlast"};
const bcd_entry ENTRY = {"/create /d \"Kavel Linux (tovkast)\" /application bootsector", STEPS,
                         sizeof STEPS / sizeof STEPS[0], "C:\\g2ldr.id"};

// The boot manager's time-out in the system store, as the registry shows the
// store: the element 0x25000004 of {bootmgr}. bcdedit would print it under a
// label in the display language.
const wchar_t TIMEOUT_KEY[] = L"BCD00000000\\Objects\\{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
                              L"\\Elements\\25000004";

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

} // namespace

step_outcome add_boot_manager_entry()
{
    log_string(IDS_ADDING_BOOT_MENU_ENTRY);
    char id[BCD_ID_SIZE];
    bool created = false;
    step_outcome outcome = add_bcd_entry(&ENTRY, id, &created);
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    log_string(IDS_DONE);

    // A time-out of 0 starts Windows at once, and the new entry would never show.
    log_string(IDS_CHECKING_BOOT_MENU_TIMEOUT);
    if (boot_manager_timeout() == 0 && !bcdedit_step("/timeout 5", "")) {
        if (created)
            delete_bcd_entry(&ENTRY, id);
        return step_failed();
    }
    log_string(IDS_DONE);
    return STEP_DONE;
}
