#include "disk/drive_log.h"

#include <windows.h>

#include <cstdio>

#include "disk/drive_class.h"
#include "disk/drive_log_lines.h"
#include "disk/volume_query.h"
#include "frame/app.h"
#include "frame/exit_codes.h"

namespace {

void log_drive(std::FILE* log, char letter)
{
    char buffer[TEXT_BUFFER_SIZE];
    char path[8];
    std::snprintf(path, sizeof path, "\\\\.\\%c:", letter);
    volume_place place;
    switch (query_volume(path, buffer, &place)) {
    case VOLUME_QUERY_OK:
        write_winapi_line(log, letter, place.number.DeviceNumber, place.number.PartitionNumber,
                          place.starting_offset, place.partition_length);
        break;
    case VOLUME_OPEN_FAILED:
        write_create_file_error(log, path, last_error_text());
        break;
    case VOLUME_NUMBER_FAILED:
        write_device_number_error(log, path, last_error_text());
        break;
    case VOLUME_INFO_FAILED:
        write_partition_info_error(log, path, last_error_text());
        break;
    }
}

} // namespace

void write_drive_log()
{
    std::FILE* log = std::fopen("c:\\tovkast_drive.log", "w");
    if (log == nullptr)
        return;
    // Every letter from C: up to the highest present drive, present or not:
    // classify_drive decides.
    DWORD drives = GetLogicalDrives() >> 2;
    for (char letter = 'C'; drives != 0; ++letter, drives >>= 1)
        if (classify_drive(letter) != DRIVE_CLASS_NONE)
            log_drive(log, letter);
    write_xdio_lines(log);
    std::fclose(log);
}
