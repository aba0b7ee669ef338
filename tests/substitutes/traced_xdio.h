#pragma once
#include <string>

// This test binary's own build of the raw-disk layer (traced_xdio.cpp): the
// same code, with every descriptor open, read and close counted, and the raw
// device paths of physical disks and floppy volumes leading to image files.
struct descriptor_trace {
    // "\\.\PhysicalDriveN" opens `images` + "hdN.img", "\\.\A:" opens
    // `images` + "fdA.img"; any other path opens as it is.
    std::string images;
    int opens = 0;    // tried
    int open_now = 0; // descriptors open at the moment
    int closes = 0;
    int reads = 0;
    std::string last_path; // as xdio_open passed it
    int last_flags = -1;
};

extern descriptor_trace trace;
