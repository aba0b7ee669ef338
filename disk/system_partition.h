#pragma once
// The EFI system partition of the disk Windows runs from, reached without a
// drive letter or a mount point. Called by the worker thread.
#include <cstddef>

// The root of that partition, "\\?\Volume{...}\", in `root` of `size` bytes;
// false when the disk that holds C: has none.
bool find_system_partition(char* root, std::size_t size);
