#include "tests/disk/disk_image.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "tests/disk/image_bytes.h"

namespace {

constexpr std::size_t SECTOR = 512;

using image_bytes::crc32_of;
using image_bytes::get_le;
using image_bytes::put_le32;

bool seek_file(std::FILE* f, uint64_t position)
{
#ifdef _WIN32
    return _fseeki64(f, static_cast<int64_t>(position), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

// The array sectors of a table: entries in their slots, each with a type
// and a unique GUID, its sectors, and a name.
void put_gpt_array(sparse_disk& disk, uint64_t lba, const std::vector<gpt_entry>& entries,
                   uint32_t entry_size)
{
    for (const gpt_entry& e : entries) {
        const uint64_t at = static_cast<uint64_t>(e.slot) * entry_size;
        uint8_t* p = sector_of(disk, lba + at / SECTOR) + at % SECTOR;
        static const uint8_t linux_data[16] = {0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
                                               0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};
        std::memcpy(p, linux_data, 16);
        std::memset(p + 16, 0x4B, 16);
        p[16] = static_cast<uint8_t>(e.slot);
        for (int i = 0; i < 8; ++i) {
            p[32 + i] = static_cast<uint8_t>(e.first >> (8 * i));
            p[40 + i] = static_cast<uint8_t>(e.last >> (8 * i));
        }
        const char name[] = "k\0a\0v\0e\0l\0";
        std::memcpy(p + 56, name, sizeof name - 1);
    }
}

void put_gpt_header(sparse_disk& disk, uint64_t lba, uint64_t alternate, uint64_t entries_lba,
                    uint64_t first_usable, uint64_t last_usable, uint32_t count, uint32_t size)
{
    std::memcpy(sector_of(disk, lba), "EFI PART", 8);
    put_le(disk, lba, GPT_REVISION, 0x00010000, 4);
    put_le(disk, lba, GPT_HEADER_SIZE, 92, 4);
    put_le(disk, lba, GPT_MY_LBA, lba, 8);
    put_le(disk, lba, GPT_ALTERNATE_LBA, alternate, 8);
    put_le(disk, lba, GPT_FIRST_USABLE, first_usable, 8);
    put_le(disk, lba, GPT_LAST_USABLE, last_usable, 8);
    std::memset(sector_of(disk, lba) + 56, 0x6B, 16); // the disk's GUID
    put_le(disk, lba, GPT_ENTRIES_LBA, entries_lba, 8);
    put_le(disk, lba, GPT_ENTRY_COUNT, count, 4);
    put_le(disk, lba, GPT_ENTRY_SIZE, size, 4);
    seal_gpt_header(disk, lba);
}

} // namespace

disk_image make_image(uint32_t sectors)
{
    return disk_image{std::vector<uint8_t>(static_cast<std::size_t>(sectors) * SECTOR)};
}

void put_signature(disk_image& image, uint32_t sector)
{
    uint8_t* s = &image.bytes.at(sector * SECTOR);
    s[510] = 0x55;
    s[511] = 0xAA;
}

void put_entry(disk_image& image, uint32_t sector, int slot, uint8_t type, uint32_t first,
               uint32_t length)
{
    uint8_t* e = &image.bytes.at(sector * SECTOR + 446 + 16 * slot);
    e[0] = 0x80;
    e[1] = e[2] = e[3] = 0xFE;
    e[4] = type;
    e[5] = e[6] = e[7] = 0xFF;
    put_le32(e + 8, first);
    put_le32(e + 12, length);
    put_signature(image, sector);
}

void put_text(disk_image& image, uint32_t sector, const std::string& text)
{
    std::memcpy(&image.bytes.at(sector * SECTOR), text.data(), text.size());
}

void put_chain(disk_image& image, uint32_t ext_base, const std::vector<ebr_record>& ebrs)
{
    for (std::size_t i = 0; i < ebrs.size(); ++i) {
        const uint32_t sector = ext_base + ebrs[i].offset;
        put_signature(image, sector);
        if (ebrs[i].type != 0)
            put_entry(image, sector, 0, ebrs[i].type, ebrs[i].first, ebrs[i].length);
        if (i + 1 < ebrs.size())
            put_entry(image, sector, 1, 0x05, ebrs[i + 1].offset, 1);
    }
}

bool save_image(const disk_image& image, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written =
        std::fwrite(image.bytes.data(), 1, image.bytes.size(), f) == image.bytes.size();
    return std::fclose(f) == 0 && written;
}

std::string unique_prefix(const std::string& folder, const std::string& name)
{
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return folder + "kavel_" + name + "_" + std::to_string(ticks) + "_";
}

void PrintTo(const walked& w, std::ostream* os)
{
    *os << "{" << w.index << ", 0x" << std::hex << w.type << std::dec << ", " << w.start << ", "
        << w.size << "}";
}

uint8_t* sector_of(sparse_disk& disk, uint64_t lba)
{
    std::vector<uint8_t>& sector = disk.data[lba];
    sector.resize(SECTOR);
    return sector.data();
}

bool save_sparse(const sparse_disk& disk, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool written = true;
    for (const auto& sector : disk.data)
        written = written && seek_file(f, sector.first * SECTOR) &&
                  std::fwrite(sector.second.data(), 1, SECTOR, f) == SECTOR;
    if (disk.data.empty() || disk.data.rbegin()->first + 1 < disk.sectors) {
        const std::vector<uint8_t> zeros(SECTOR);
        written = written && seek_file(f, (disk.sectors - 1) * SECTOR) &&
                  std::fwrite(zeros.data(), 1, SECTOR, f) == SECTOR;
    }
    return std::fclose(f) == 0 && written;
}

void put_le(sparse_disk& disk, uint64_t lba, std::size_t offset, uint64_t value, int bytes)
{
    uint8_t* p = sector_of(disk, lba) + offset;
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

sparse_disk make_gpt_disk(uint64_t sectors, const std::vector<gpt_entry>& entries,
                          uint32_t entry_count, uint32_t entry_size)
{
    sparse_disk disk;
    disk.sectors = sectors;
    const uint64_t array = (static_cast<uint64_t>(entry_count) * entry_size + SECTOR - 1) / SECTOR;
    const uint64_t last = sectors - 1;
    uint8_t* mbr = sector_of(disk, 0);
    mbr[446 + 4] = 0xEE;
    put_le32(mbr + 446 + 8, 1);
    put_le32(mbr + 446 + 12, static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFFu)));
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    put_gpt_array(disk, 2, entries, entry_size);
    put_gpt_array(disk, last - array, entries, entry_size);
    put_gpt_header(disk, 1, last, 2, 2 + array, last - 1 - array, entry_count, entry_size);
    put_gpt_header(disk, last, 1, last - array, 2 + array, last - 1 - array, entry_count,
                   entry_size);
    return disk;
}

void seal_gpt_header(sparse_disk& disk, uint64_t lba)
{
    const uint8_t* h = sector_of(disk, lba);
    const uint64_t entries_lba = get_le(h + GPT_ENTRIES_LBA, 8);
    const uint64_t bytes = get_le(h + GPT_ENTRY_COUNT, 4) * get_le(h + GPT_ENTRY_SIZE, 4);
    if (bytes < (4u << 20)) {
        std::vector<uint8_t> array;
        for (uint64_t s = 0; s * SECTOR < bytes; ++s) {
            const auto found = disk.data.find(entries_lba + s);
            if (found == disk.data.end())
                array.resize(array.size() + SECTOR);
            else
                array.insert(array.end(), found->second.begin(), found->second.end());
        }
        array.resize(static_cast<std::size_t>(bytes));
        put_le(disk, lba, 88, crc32_of(array.data(), array.size()), 4);
    }
    const std::size_t size =
        std::min<std::size_t>(std::max<uint64_t>(get_le(h + GPT_HEADER_SIZE, 4), 20), SECTOR);
    put_le(disk, lba, 16, 0, 4);
    const std::vector<uint8_t> header(h, h + size);
    put_le(disk, lba, 16, crc32_of(header.data(), header.size()), 4);
}
