#include "disk/drive_log.h"

#include <windows.h>

#include <cstdio>

#include "disk/drive_class.h"
#include "disk/drive_log_lines.h"
#include "disk/volume_query.h"
#include "disk/xdio.h"
#include "frame/app.h"
#include "frame/exit_codes.h"
#include "frame/wide_text.h"

namespace {

// The system's reason for the last failure in the ANSI code page, as the log
// file's other lines are written, in `reason` of TEXT_BUFFER_SIZE bytes.
const char* failure_reason(char* reason)
{
    narrow(last_error_text(), CP_ACP, reason, TEXT_BUFFER_SIZE);
    return reason;
}

void log_drive(std::FILE* log, char letter)
{
    char buffer[TEXT_BUFFER_SIZE];
    char reason[TEXT_BUFFER_SIZE];
    char path[XDIO_VOLUME_PATH_SIZE];
    xdio_volume_path(letter, path);
    volume_place place;
    switch (query_volume(path, buffer, &place)) {
    case VOLUME_QUERY_OK:
        write_winapi_line(log, letter, place.number.DeviceNumber, place.number.PartitionNumber,
                          place.starting_offset, place.partition_length);
        break;
    case VOLUME_OPEN_FAILED:
        write_create_file_error(log, path, failure_reason(reason));
        break;
    case VOLUME_NUMBER_FAILED:
        write_device_number_error(log, path, failure_reason(reason));
        break;
    case VOLUME_INFO_FAILED:
        write_partition_info_error(log, path, failure_reason(reason));
        break;
    }
}

} // namespace

void write_drive_log()
{
    std::FILE* log = std::fopen("c:\\tovkast_drive.log", "w");
    if (log == nullptr)
        return;
    // Present or not, classify_drive decides.
    walk_drive_letters(GetLogicalDrives(), [log](char letter, bool) {
        if (classify_drive(letter) != DRIVE_CLASS_NONE)
            log_drive(log, letter);
    });
    write_xdio_lines(log);
    std::fclose(log);
}
