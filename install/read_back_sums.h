#pragma once
// The sums that tell whether the files on the target hold what the image
// holds: each file's CRC-32, as 7-Zip's "-scrcCRC32" computes it, and the sum
// of all of them that 7-Zip prints after testing the image's files. Called
// by the worker thread.
#include <cstddef>
#include <cstdint>

// The CRC-32 of ISO 3309 (zlib's, 7-Zip's) of `size` bytes at `data`,
// continuing from `crc` (0 for the first piece). Where the processor has
// carry-less multiplication it folds the data with it, elsewhere it looks up
// tables; both give the same sums.
uint32_t crc32_update(uint32_t crc, const void* data, std::size_t size);

// The sum of the files' CRC-32s, from what "7z t -scrcCRC32" printed: its
// line "CRC32  for data:  XXXXXXXX" with "-NNNNNNNN" after it when the sum
// passed 32 bits (NNNNNNNN the number of times). False when there is no such
// line.
bool read_data_sum(const char* text, uint64_t* sum);
