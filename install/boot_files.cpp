#include "install/boot_files.h"

#include <cstdio>
#include <cstring>

namespace {

// Closes `file`, telling whether everything written reached the file.
int close_written(std::FILE* file, bool written)
{
    bool closed = std::fclose(file) == 0;
    return written && closed ? BOOT_FILE_OK : BOOT_FILE_WRITE_FAILED;
}

bool ends_timeout_value(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

} // namespace

int append_menu_entry(const char* path, const char* device)
{
    if (!device)
        return BOOT_FILE_NO_DEVICE;
    std::FILE* file = std::fopen(path, "a+");
    if (!file)
        return BOOT_FILE_CANNOT_OPEN;
    bool written = std::fputs("\ntitle Kavel Linux (tovkast)\n", file) >= 0 &&
                   std::fprintf(file, "root %s\n", device) >= 0 &&
                   std::fputs("kernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel\n", file) >= 0 &&
                   std::fputs("initrd /kavel/initrd.gz\n", file) >= 0;
    return close_written(file, written);
}

int set_boot_timeout(const char* path)
{
    // Binary mode: the Windows runtime's text-mode ftell gives wrong
    // positions on a file whose lines end in LF alone, and the 5 would land
    // elsewhere. A CR before the LF is then part of the line read.
    std::FILE* file = std::fopen(path, "r+b");
    if (!file)
        return BOOT_FILE_CANNOT_OPEN;
    char line[1024];
    bool written = true;
    for (;;) {
        long start = std::ftell(file);
        if (start < 0 || !std::fgets(line, sizeof line, file))
            break;
        if (std::strncmp(line, "timeout=0", 9) == 0 && ends_timeout_value(line[9])) {
            written = std::fseek(file, start + 8, SEEK_SET) == 0 && std::fputc('5', file) != EOF;
            break;
        }
    }
    return close_written(file, written);
}

int append_boot_ini_entry(const char* path, const char* loader)
{
    std::FILE* file = std::fopen(path, "a+");
    if (!file)
        return BOOT_FILE_CANNOT_OPEN;
    bool written = std::fprintf(file, "\n%s=\"Kavel Linux (tovkast)\"\n", loader) >= 0;
    return close_written(file, written);
}

int write_uefi_grub_config(const char* path, const char* c_device)
{
    unsigned disk = 0;
    unsigned partition = 0;
    int used = 0;
    if (!c_device || std::sscanf(c_device, "(hd%u,%u)%n", &disk, &partition, &used) != 2 ||
        used == 0 || c_device[used] != '\0')
        return BOOT_FILE_NO_DEVICE;
    std::FILE* file = std::fopen(path, "w");
    if (!file)
        return BOOT_FILE_CANNOT_OPEN;
    bool written = std::fprintf(file,
                                "# Written by the Kavel Linux installer: C:\\menu.lst is on %s.\n"
                                "legacy_configfile (hd%u,%u)/menu.lst\n",
                                c_device, disk, partition + 1) >= 0;
    return close_written(file, written);
}
