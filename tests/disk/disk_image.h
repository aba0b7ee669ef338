#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
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
    uint64_t start;
    uint64_t size;
    bool operator==(const walked& o) const
    {
        return index == o.index && type == o.type && start == o.start && size == o.size;
    }
};

void PrintTo(const walked& w, std::ostream* os);

// A disk given sector by sector, for GUID partition tables and for disks too
// large to hold in memory: sectors not given read as zeros, and the file,
// sparse where the file system allows, ends with the disk's last sector.
struct sparse_disk {
    uint64_t sectors = 0;
    std::map<uint64_t, std::vector<uint8_t>> data; // 512 bytes each
};

// Sector `lba` of the disk, made (as zeros) when it was not given yet.
uint8_t* sector_of(sparse_disk& disk, uint64_t lba);

bool save_sparse(const sparse_disk& disk, const std::string& path);

// A used entry of a GUID partition table: its slot, first and last sector.
struct gpt_entry {
    uint32_t slot;
    uint64_t first;
    uint64_t last;
};

// Where the fields of a GUID partition table header lie.
enum gpt_header_field : std::size_t {
    GPT_REVISION = 8,
    GPT_HEADER_SIZE = 12,
    GPT_MY_LBA = 24,
    GPT_ALTERNATE_LBA = 32,
    GPT_FIRST_USABLE = 40,
    GPT_LAST_USABLE = 48,
    GPT_ENTRIES_LBA = 72,
    GPT_ENTRY_COUNT = 80,
    GPT_ENTRY_SIZE = 84,
};

// A disk of `sectors` with a protective master boot record and a GUID
// partition table of `entry_count` entries of `entry_size` bytes holding
// `entries`: the primary header at sector 1 with its array from sector 2, the
// backup array and header at the disk's end, the usable sectors between, as
// partitioning tools lay them out; every CRC right.
sparse_disk make_gpt_disk(uint64_t sectors, const std::vector<gpt_entry>& entries,
                          uint32_t entry_count = 128, uint32_t entry_size = 128);

// Writes the `bytes`-byte little-endian `value` at `offset` of sector `lba`.
void put_le(sparse_disk& disk, uint64_t lba, std::size_t offset, uint64_t value, int bytes);

// Makes the CRCs of the header at `lba` right again after a change: the entry
// array's, over what the header now describes (when that is under 4 MiB), then
// the header's own.
void seal_gpt_header(sparse_disk& disk, uint64_t lba);
