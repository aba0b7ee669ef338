#include "wine_drives.h"

#include "ui_driver.h"

#include <winioctl.h>

#include <cstring>

namespace {

// Wine's own mount manager request: define (or, with DRIVE_NO_ROOT_DIR,
// remove) a drive letter backed by Unix paths.
constexpr DWORD DEFINE_UNIX_DRIVE =
    CTL_CODE(static_cast<DWORD>('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Its request record as Wine 8 lays it out; the Unix paths follow it.
struct unix_drive_request {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};
static_assert(sizeof(unix_drive_request) == 32, "Wine's record is 32 bytes");

bool send_request(char letter, UINT type, const char* folder, const char* device)
{
    char buffer[sizeof(unix_drive_request) + 2 * MAX_PATH + 2] = {};
    auto* request = reinterpret_cast<unix_drive_request*>(buffer);
    request->type = type;
    request->letter = static_cast<WCHAR>(letter);
    size_t used = sizeof *request;
    auto append = [&](const char* text, USHORT* offset) {
        size_t n = std::strlen(text) + 1;
        if (used + n > sizeof buffer)
            return false;
        *offset = static_cast<USHORT>(used);
        std::memcpy(buffer + used, text, n);
        used += n;
        return true;
    };
    if (folder && !append(folder, &request->mount_point_offset))
        return false;
    if (device && !append(device, &request->device_offset))
        return false;
    request->size = static_cast<ULONG>(used);

    HANDLE manager =
        CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(manager, DEFINE_UNIX_DRIVE, buffer, static_cast<DWORD>(used), nullptr,
                              0, &returned, nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}

} // namespace

bool define_drive(char letter, UINT type, const std::string& unix_folder,
                  const std::string& unix_device)
{
    return send_request(letter, type, unix_folder.c_str(),
                        unix_device.empty() ? nullptr : unix_device.c_str());
}

bool remove_drive(char letter)
{
    // Redefined first without a device, so that the manager also drops the
    // device link it keeps beside the drive's folder link.
    std::string any_folder = unix_path_of(own_folder());
    if (!any_folder.empty())
        send_request(letter, DRIVE_REMOVABLE, any_folder.c_str(), nullptr);
    return send_request(letter, DRIVE_NO_ROOT_DIR, nullptr, nullptr) && !drive_present(letter);
}

bool drive_present(char letter)
{
    return (GetLogicalDrives() >> (letter - 'A')) & 1;
}

std::string unix_path_of(const std::string& windows_path)
{
    using to_unix = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<to_unix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return "";
    int n = MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, &wide[0], n);
    char* unix_path = convert(wide.c_str());
    if (!unix_path)
        return "";
    std::string result(unix_path);
    HeapFree(GetProcessHeap(), 0, unix_path);
    return result;
}

std::string drive_folder(const std::string& name, const std::string& label)
{
    std::string parent = own_folder() + "drive_folders";
    std::string folder = parent + "\\" + name;
    CreateDirectoryA(parent.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string label_file = folder + "\\.windows-label";
    if (label.empty())
        DeleteFileA(label_file.c_str());
    else
        write_file(label_file, label);
    return folder;
}

added_drives::~added_drives()
{
    for (char letter : letters)
        remove_drive(letter);
}

bool added_drives::add(char letter, UINT type, const std::string& label, const std::string& device)
{
    std::string folder = unix_path_of(drive_folder(std::string(1, letter), label));
    std::string unix_device = device.empty() ? "" : unix_path_of(device);
    if (folder.empty() || (!device.empty() && unix_device.empty()))
        return false;
    letters += letter;
    return define_drive(letter, type, folder, unix_device) && drive_present(letter);
}

bool added_drives::add(const std::vector<drive_spec>& drives)
{
    for (const drive_spec& d : drives)
        if (!add(d.letter, d.type, d.label, d.device))
            return false;
    return true;
}

char first_present(const char* letters)
{
    for (; *letters != '\0'; ++letters)
        if (drive_present(*letters))
            return *letters;
    return 0;
}

silent_devices make_silent_devices(const std::string& prefix)
{
    silent_devices devices = {drive_folder(prefix + "device-folder", ""),
                              own_folder() + "drive_folders\\" + prefix + "device-file"};
    write_file(devices.mute, "not a disk");
    return devices;
}

bool added_drives::remove(char letter)
{
    auto at = letters.find(letter);
    if (at != std::string::npos)
        letters.erase(at, 1);
    return remove_drive(letter);
}
