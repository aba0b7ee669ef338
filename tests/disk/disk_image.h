#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Disk images built in memory, sector by sector, then written to a file.

struct disk_image {
    std::vector<uint8_t> bytes;
};

disk_image make_image(uint32_t sectors);

// Partition table entry `slot` of the table in `sector`, with the table
// signature 0x55 0xAA; the boot flag and CHS fields are filled with noise the
// walk must ignore.
void put_entry(disk_image& image, uint32_t sector, int slot, uint8_t type, uint32_t first,
               uint32_t length);
void put_signature(disk_image& image, uint32_t sector);

// A text at the start of `sector`, to tell sectors apart when read back.
void put_text(disk_image& image, uint32_t sector, const std::string& text);

// One EBR of a chain: where it lies (from the extended partition's start) and
// its first entry (type 0 for an EBR that holds no partition).
struct ebr_record {
    uint32_t offset;
    uint8_t type;
    uint32_t first;
    uint32_t length;
};

// The EBRs, each linking to the one after it; the last has no link.
void put_chain(disk_image& image, uint32_t ext_base, const std::vector<ebr_record>& ebrs);

bool save_image(const disk_image& image, const std::string& path);

// A file name prefix in `folder` that no other run uses.
std::string unique_prefix(const std::string& folder, const std::string& name);

// One partition as the walk yields it: GRUB's number, type, first sector and
// length; compared and printed whole when a test fails.
struct walked {
    int index;
    int type;
    uint32_t start;
    uint32_t size;
    bool operator==(const walked& o) const
    {
        return index == o.index && type == o.type && start == o.start && size == o.size;
    }
};

void PrintTo(const walked& w, std::ostream* os);
