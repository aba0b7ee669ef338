// How many sectors partition walks read on long and broken EBR chains,
// against the number of partition tables the disk holds (MBR + EBRs), and on
// GUID partition tables whole and damaged, against the sectors of one table
// (its header and entry array).
// Usage: partition_walk_reads FOLDER (where the images are written).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "disk/partition_walk.h"
#include "disk/xdio.h"
#include "tests/disk/disk_image.h"
#include "tests/substitutes/traced_xdio.h"

namespace {

struct figures {
    int yielded = 0;
    int reads = 0;
    double microseconds = 0;
};

figures walk(const std::string& path, uint8_t wanted)
{
    figures f;
    xdio_device* dev = xdio_open(path.c_str(), 0);
    if (!dev)
        return f;
    xdio_partition part{};
    part.index = XDIO_PART_NONE;
    part.wanted = wanted;
    trace.reads = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (xdio_next_partition(dev, &part) == 0)
        ++f.yielded;
    const auto t1 = std::chrono::steady_clock::now();
    f.reads = trace.reads;
    f.microseconds = std::chrono::duration<double, std::micro>(t1 - t0).count();
    xdio_close(dev);
    return f;
}

// An MBR with the extended partition at sector 1, then one EBR per kind:
// 'p' holds a partition, 'e' is empty. `stride` spaces the EBRs out.
disk_image chain_image(const std::string& kinds, uint32_t stride, int loop_to = -1)
{
    const uint32_t n = static_cast<uint32_t>(kinds.size());
    disk_image image = make_image(2 + stride * n);
    put_entry(image, 0, 0, 0x05, 1, stride * n);
    std::vector<ebr_record> chain;
    for (uint32_t i = 0; i < n; ++i)
        chain.push_back({stride * i, uint8_t(kinds[i] == 'p' ? 0x83 : 0), 1, stride - 1});
    put_chain(image, 1, chain);
    if (loop_to >= 0)
        put_entry(image, 1 + stride * (n - 1), 1, 0x05, stride * uint32_t(loop_to), 1);
    return image;
}

void print(const char* name, int tables, const figures& f)
{
    std::printf("%-40s %8d %8d %8d %10.1f\n", name, tables, f.yielded, f.reads, f.microseconds);
}

// GUID partition tables of 128 entries (and of the most the walk takes), with
// four partitions, whole and with one byte changed in the primary header, the
// primary array, or both headers. The reads are set against one table's
// sectors; the master boot record comes on top.
int gpt_cases(const std::string& folder)
{
    const uint64_t sectors = 1 << 20;
    const std::vector<gpt_entry> entries = {
        {0, 2048, 4095}, {1, 4096, 8191}, {3, 8192, 16383}, {7, 16384, 32767}};
    struct gpt_case {
        const char* name;
        uint32_t entry_count;
        std::vector<uint64_t> damaged; // sectors with a changed byte
    };
    const std::vector<gpt_case> cases = {
        {"GPT, 128 entries, whole", 128, {}},
        {"GPT, primary header damaged", 128, {1}},
        {"GPT, primary entries damaged", 128, {2}},
        {"GPT, both headers damaged", 128, {1, sectors - 1}},
        {"GPT, 1024 entries, whole", 1024, {}},
        {"GPT, 1024 entries, primary damaged", 1024, {2}},
    };
    std::printf("\n%-40s %8s %8s %8s %10s\n", "GUID partition table", "sectors", "yielded", "reads",
                "time (us)");
    int n = 0;
    for (const gpt_case& c : cases) {
        sparse_disk disk = make_gpt_disk(sectors, entries, c.entry_count);
        for (uint64_t lba : c.damaged)
            sector_of(disk, lba)[60] ^= 1;
        const std::string path = folder + "gpt_bench_" + std::to_string(n++) + ".img";
        if (!save_sparse(disk, path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        const figures f = walk(path, XDIO_PART_NONE);
        std::remove(path.c_str());
        print(c.name, 1 + int(c.entry_count / 4), f);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "./";
    struct bench_case {
        const char* name;
        disk_image image;
        int tables; // MBR and EBRs in the chain
        uint8_t wanted;
    };
    const std::vector<bench_case> cases = {
        {"251 logicals, every one", chain_image(std::string(251, 'p'), 2048), 252, 255},
        {"251 logicals, only the last", chain_image(std::string(251, 'p'), 2048), 252, 254},
        {"300 logicals (254 is the last number)", chain_image(std::string(300, 'p'), 8), 301, 255},
        {"1000 empty EBRs", chain_image(std::string(1000, 'e') + "p", 2), 1002, 255},
        {"100 logicals looping back to the 50th", chain_image(std::string(100, 'p'), 8, 49), 101,
         255},
        {"200 logicals looping back to the 2nd", chain_image(std::string(200, 'p'), 8, 1), 201,
         255},
    };
    std::printf("%-40s %8s %8s %8s %10s\n", "chain", "tables", "yielded", "reads", "time (us)");
    int n = 0;
    for (const bench_case& c : cases) {
        const std::string path = folder + "walk_bench_" + std::to_string(n++) + ".img";
        if (!save_image(c.image, path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        const figures f = walk(path, c.wanted);
        std::remove(path.c_str());
        print(c.name, c.tables, f);
    }
    return gpt_cases(folder);
}
