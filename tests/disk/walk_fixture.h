#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disk/partition_walk.h"
#include "disk/xdio.h"
#include "tests/disk/disk_image.h"
#include "tests/substitutes/traced_xdio.h"

// Partition walks over image files the tests write, with the sectors each
// whole walk reads counted; the files go when the test ends.

struct walk_result {
    std::vector<walked> parts;
    int reads = 0;        // sectors read by the whole walk
    int final_index = -1; // `index` after the closing result 1
};

class PartitionWalk : public testing::Test {
protected:
    void TearDown() override
    {
        for (const std::string& p : files_)
            std::remove(p.c_str());
    }

    std::string save(const disk_image& image)
    {
        const std::string path = next_path();
        EXPECT_TRUE(save_image(image, path));
        return path;
    }

    std::string save(const sparse_disk& disk)
    {
        const std::string path = next_path();
        EXPECT_TRUE(save_sparse(disk, path));
        return path;
    }

    // Calls the walk until it answers 1, at most `calls` times.
    template <typename Disk>
    walk_result walk(const Disk& disk, uint8_t wanted = XDIO_PART_NONE, int calls = 300)
    {
        walk_result r;
        xdio_device* dev = xdio_open(save(disk).c_str(), 0);
        if (!dev) {
            ADD_FAILURE() << "image does not open";
            return r;
        }
        trace.reads = 0;
        xdio_partition part{};
        part.index = XDIO_PART_NONE;
        part.wanted = wanted;
        int call = 0;
        for (; call < calls && xdio_next_partition(dev, &part) == 0; ++call)
            r.parts.push_back({part.index, part.type, part.start, part.size});
        EXPECT_LT(call, calls) << "the walk did not end";
        r.reads = trace.reads;
        r.final_index = part.index;
        xdio_close(dev);
        return r;
    }

private:
    std::string next_path()
    {
        std::string path =
            unique_prefix(testing::TempDir(), "walk") + std::to_string(files_.size()) + ".img";
        files_.push_back(path);
        return path;
    }

    std::vector<std::string> files_;
};
