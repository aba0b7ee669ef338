#include "disk/gpt_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "disk/partition_walk.h"
#include "disk/table_bytes.h"

namespace {

constexpr uint32_t ENTRY_BLOCK = 128; // every entry size is a multiple of this
constexpr uint32_t MAX_ENTRIES = XDIO_GPT_MAX_ARRAY_SECTORS * XDIO_SECTOR_SIZE / ENTRY_BLOCK;
constexpr uint32_t REVISION_1_0 = 0x00010000;
constexpr uint32_t MIN_HEADER_SIZE = 92;
constexpr std::size_t HEADER_CRC_AT = 16;
constexpr std::size_t MBR_TABLE = 446;
constexpr uint8_t PROTECTIVE_TYPE = 0xEE;

struct gpt_header {
    uint64_t my_lba;
    uint64_t alternate;
    uint64_t first_usable;
    uint64_t last_usable;
    uint64_t entries_lba;
    uint32_t entry_count;
    uint32_t entry_size;
    uint32_t entries_crc;
    uint64_t array_bytes;
    uint64_t array_sectors;
};

// The used entries of the table loaded last, in slot order. Process-wide,
// like the sector buffer, so that the calls of one walk share them; written
// and read by whichever thread walks, and walks never overlap.
struct used_entries {
    uint32_t count;
    gpt_used_entry entry[MAX_ENTRIES];
} used;

// CRC-32 as zlib and the GUID partition table compute it (reflected
// polynomial 0xEDB88320), carried on over `length` more bytes.
uint32_t crc32_update(uint32_t crc, const uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

// The disk's last sector by the protective entry of the master boot record in
// the buffer; 0 when it does not tell (its length field saturates on disks
// of 2 TiB and more).
uint64_t protective_last_sector()
{
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t* e = xdio_sector_buf + MBR_TABLE + 16 * slot;
        const uint32_t first = le32(e + 8);
        const uint32_t length = le32(e + 12);
        if (e[4] == PROTECTIVE_TYPE && first == 1 && length != 0 && length != 0xFFFFFFFFu)
            return static_cast<uint64_t>(first) + length - 1;
    }
    return 0;
}

// The header in the buffer, `size` bytes, against its CRC, taken with the
// CRC field itself as zeros.
bool header_crc_matches(uint32_t size)
{
    const uint8_t zeros[4] = {};
    uint32_t crc = crc32_update(0xFFFFFFFFu, xdio_sector_buf, HEADER_CRC_AT);
    crc = crc32_update(crc, zeros, sizeof zeros);
    crc = crc32_update(crc, xdio_sector_buf + HEADER_CRC_AT + 4, size - HEADER_CRC_AT - 4);
    return ~crc == le32(xdio_sector_buf + HEADER_CRC_AT);
}

// Entry size and count, the usable sectors, and where the array and the other
// header lie: the primary's array between it and the first usable sector, its
// backup past the last usable one (and inside the disk when its size is
// known, `disk_sectors` not 0); the backup's array between the last usable
// sector and itself, pointing back at sector 1.
bool header_fields_sane(const gpt_header& h, uint64_t disk_sectors)
{
    if (h.entry_size < ENTRY_BLOCK || h.entry_size % ENTRY_BLOCK != 0 ||
        h.array_sectors > XDIO_GPT_MAX_ARRAY_SECTORS || h.first_usable < 2 ||
        h.first_usable > h.last_usable)
        return false;
    if (h.my_lba == 1)
        return h.entries_lba >= 2 && h.array_sectors <= h.first_usable &&
               h.entries_lba <= h.first_usable - h.array_sectors && h.alternate > h.last_usable &&
               (disk_sectors == 0 || h.alternate < disk_sectors);
    return h.alternate == 1 && h.entries_lba > h.last_usable && h.array_sectors <= h.my_lba &&
           h.entries_lba <= h.my_lba - h.array_sectors;
}

// Reads the header at `lba` and checks it on its own.
bool read_header(xdio_device* dev, uint64_t lba, uint64_t disk_sectors, gpt_header* h)
{
    if (xdio_seek(dev, lba) != 0 || xdio_read(dev, xdio_sector_buf, 1) != 0)
        return false;
    const uint8_t* s = xdio_sector_buf;
    const uint32_t header_size = le32(s + 12);
    if (std::memcmp(s, "EFI PART", 8) != 0 || le32(s + 8) != REVISION_1_0 ||
        header_size < MIN_HEADER_SIZE || header_size > XDIO_SECTOR_SIZE ||
        !header_crc_matches(header_size))
        return false;
    h->my_lba = le64(s + 24);
    h->alternate = le64(s + 32);
    h->first_usable = le64(s + 40);
    h->last_usable = le64(s + 48);
    h->entries_lba = le64(s + 72);
    h->entry_count = le32(s + 80);
    h->entry_size = le32(s + 84);
    h->entries_crc = le32(s + 88);
    h->array_bytes = static_cast<uint64_t>(h->entry_count) * h->entry_size;
    h->array_sectors = (h->array_bytes + XDIO_SECTOR_SIZE - 1) / XDIO_SECTOR_SIZE;
    return h->my_lba == lba && header_fields_sane(*h, disk_sectors);
}

// Keeps the used entries that begin in the array's sector in the buffer,
// which lies at byte `offset` of the array and holds `bytes` of it. An entry
// begins on a 128-byte boundary, so its fields never straddle two sectors.
// False for a used entry outside the usable sectors or ending before it starts.
bool keep_used_entries(const gpt_header& h, uint64_t offset, uint64_t bytes)
{
    static const uint8_t unused_type[16] = {};
    for (uint64_t block = 0; block < bytes; block += ENTRY_BLOCK) {
        if ((offset + block) % h.entry_size != 0)
            continue;
        const uint8_t* e = xdio_sector_buf + block;
        if (std::memcmp(e, unused_type, sizeof unused_type) == 0)
            continue;
        const uint64_t first = le64(e + 32);
        const uint64_t last = le64(e + 40);
        if (first < h.first_usable || last < first || last > h.last_usable)
            return false;
        const uint32_t slot = static_cast<uint32_t>((offset + block) / h.entry_size);
        used.entry[used.count++] = {slot, first, last};
    }
    return true;
}

// Whether no two kept entries share a sector.
bool kept_entries_apart()
{
    gpt_used_entry* begin = used.entry;
    gpt_used_entry* end = used.entry + used.count;
    std::sort(begin, end,
              [](const gpt_used_entry& a, const gpt_used_entry& b) { return a.first < b.first; });
    bool apart = true;
    for (uint32_t i = 1; i < used.count; ++i)
        if (used.entry[i - 1].last >= used.entry[i].first)
            apart = false;
    std::sort(begin, end,
              [](const gpt_used_entry& a, const gpt_used_entry& b) { return a.slot < b.slot; });
    return apart;
}

// Reads the entry array `h` describes, each sector once, and keeps its used
// entries when the array passes its checks.
bool read_entries(xdio_device* dev, const gpt_header& h)
{
    used.count = 0;
    uint32_t crc = 0xFFFFFFFFu;
    bool sound = true;
    for (uint64_t s = 0; sound && s < h.array_sectors; ++s) {
        const uint64_t offset = s * XDIO_SECTOR_SIZE;
        const uint64_t bytes = std::min<uint64_t>(XDIO_SECTOR_SIZE, h.array_bytes - offset);
        sound = xdio_seek(dev, h.entries_lba + s) == 0 && xdio_read(dev, xdio_sector_buf, 1) == 0 &&
                keep_used_entries(h, offset, bytes);
        crc = crc32_update(crc, xdio_sector_buf, static_cast<std::size_t>(bytes));
    }
    if (sound && ~crc == h.entries_crc && kept_entries_apart())
        return true;
    used.count = 0;
    return false;
}

} // namespace

bool gpt_load(xdio_device* dev)
{
    used.count = 0;
    const uint64_t protective_last = protective_last_sector();
    const uint64_t disk_sectors = xdio_sector_count(dev);
    gpt_header primary;
    const bool primary_header = read_header(dev, 1, disk_sectors, &primary);
    if (primary_header && read_entries(dev, primary))
        return true;
    // The backup: where a sound primary header says, else at the disk's end.
    uint64_t backup_lba = protective_last;
    if (primary_header)
        backup_lba = primary.alternate;
    else if (disk_sectors != 0)
        backup_lba = disk_sectors - 1;
    gpt_header backup;
    return backup_lba > 1 && read_header(dev, backup_lba, disk_sectors, &backup) &&
           read_entries(dev, backup);
}

const gpt_used_entry* gpt_entry_from(uint32_t slot)
{
    for (uint32_t i = 0; i < used.count; ++i)
        if (used.entry[i].slot >= slot)
            return &used.entry[i];
    return nullptr;
}
