#include "tests/disk/disk_image.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t SECTOR = 512;

void put_le32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
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
