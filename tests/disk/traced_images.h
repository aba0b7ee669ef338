#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/disk/disk_image.h"
#include "tests/substitutes/traced_xdio.h"

// Tests whose raw device paths lead to image files of their own: each starts
// with a fresh trace and a file name prefix no other run uses, and the image
// files `files` (names below that prefix) go when it ends.
class TracedImages : public testing::Test {
protected:
    TracedImages(std::string name, std::vector<std::string> files)
        : name_(std::move(name)), files_(std::move(files))
    {
    }

    void SetUp() override
    {
        trace = descriptor_trace{};
        trace.images = unique_prefix(testing::TempDir(), name_);
    }

    void TearDown() override
    {
        for (const std::string& file : files_)
            std::remove((trace.images + file).c_str());
    }

private:
    std::string name_;
    std::vector<std::string> files_;
};
