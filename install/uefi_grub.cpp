#include "install/uefi_grub.h"

#include "disk/grub_device.h"
#include "disk/system_partition.h"
#include "frame/app.h"
#include "frame/compose_text.h"
#include "frame/plain_file.h"
#include "install/bcdedit.h"
#include "install/boot_files.h"
#include "install/progress_dialog.h"
#include "resources/resource_ids.h"

namespace {

const char GRUB_SOURCE[] = "efi-grub\\grubx64.efi";
const char* const ESP_FILES[] = {"grubx64.efi", "kavel.cfg", "kavel.id"};

// The firmware's copy of the boot manager's entry, its path turned to GRUB,
// added last to the firmware's menu so that Windows stays its first choice.
const char* const FIRMWARE_STEPS[] = {"/set %s path \\EFI\\kavel\\grubx64.efi",
                                      "/set {fwbootmgr} displayorder %s /addlast"};

bool in_folder(const esp_place* esp, const char* name, char* path)
{
    return compose_text(path, MAX_PATH, "%s\\%s", esp->folder, name);
}

} // namespace

step_outcome put_grub_on_esp(esp_place* esp)
{
    log_string(IDS_COPYING_TO_ESP);
    // GRUB reads C:\menu.lst by the name of C:'s partition.
    const char* c_device = grub_device_of_drive('C');
    char c_name[32];
    if (c_device == nullptr || !compose_text(c_name, sizeof c_name, "%s", c_device) ||
        !find_system_partition(esp->root, sizeof esp->root) ||
        !compose_text(esp->folder, sizeof esp->folder, "%sEFI\\kavel", esp->root))
        return step_failed(IDS_FAILED);
    if (!is_plain_file(GRUB_SOURCE)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return failed_for_system_reason();
    }
    char efi[MAX_PATH];
    char grub[MAX_PATH];
    char config[MAX_PATH];
    compose_text(efi, sizeof efi, "%sEFI", esp->root);
    in_folder(esp, "grubx64.efi", grub);
    in_folder(esp, "kavel.cfg", config);
    DWORD attributes = GetFileAttributesA(esp->folder);
    esp->folder_was_there =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!make_folder(efi) || !make_folder(esp->folder) || !CopyFileA(GRUB_SOURCE, grub, FALSE))
        return failed_for_system_reason();
    int written = write_uefi_grub_config(config, c_name);
    if (written != BOOT_FILE_OK)
        return step_failed(written == BOOT_FILE_CANNOT_OPEN ? IDS_CANNOT_OPEN : IDS_FAILED);
    log_string(IDS_DONE);
    return STEP_DONE;
}

void take_grub_off_esp(const esp_place* esp)
{
    if (esp->folder_was_there || esp->folder[0] == '\0')
        return;
    for (const char* name : ESP_FILES) {
        char path[MAX_PATH];
        if (in_folder(esp, name, path))
            delete_file(path);
    }
    RemoveDirectoryA(esp->folder);
}

step_outcome add_firmware_entry(const esp_place* esp)
{
    log_string(IDS_ADDING_FIRMWARE_ENTRY);
    char id_path[MAX_PATH];
    if (!in_folder(esp, "kavel.id", id_path))
        return step_failed(IDS_FAILED);
    const bcd_entry entry = {"/copy {bootmgr} /d \"Kavel Linux (tovkast)\"", FIRMWARE_STEPS,
                             sizeof FIRMWARE_STEPS / sizeof FIRMWARE_STEPS[0], id_path};
    char id[BCD_ID_SIZE];
    bool created = false;
    step_outcome outcome = add_bcd_entry(&entry, id, &created);
    if (outcome.end != STEP_GOES_ON)
        return outcome;
    log_string(IDS_DONE);
    log_string(IDS_HOW_TO_START_UEFI);
    return STEP_DONE;
}
