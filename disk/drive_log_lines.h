#pragma once
// The lines of the drive diagnostics log. The caller opens the log (text
// mode, so every "\n" is stored as CR LF) and closes it.
// Called by the user-interface thread, from write_drive_log.
#include <cstdint>
#include <cstdio>

#include "disk/xdio.h"

// One "[winapi]" line: what the system reports for drive `letter`. The byte
// counts are shown as whole sectors, in full, to compare with the "[xdio]"
// lines also past 2 TiB.
void write_winapi_line(std::FILE* log, char letter, uint32_t device_number,
                       uint32_t partition_number, int64_t starting_offset,
                       int64_t partition_length);

// The error lines of a drive whose volume `path` could not be opened or
// queried. `error_text` is the system's message text; no line end is added,
// the message brings its own.
void write_create_file_error(std::FILE* log, const char* path, const char* error_text);
void write_device_number_error(std::FILE* log, const char* path, const char* error_text);
void write_partition_info_error(std::FILE* log, const char* path, const char* error_text);

// One "[xdio]" line for each partition the walk yields on the whole disk
// `disk` (0..9), named like Linux names it: disk 0 is hda, GRUB partition 0
// is hda1 (the first slot of a GUID partition table too). A table that fails
// the walk's checks gives no line.
void write_xdio_disk_lines(std::FILE* log, uint32_t disk_number, xdio_device* disk);

// The "[xdio]" lines of physical disks 0 to 9, each opened as "(hdN)"
// read-only; a disk that cannot be opened gives no line.
void write_xdio_lines(std::FILE* log);
