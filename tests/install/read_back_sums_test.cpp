// The sums of the read-back, against values zlib and 7-Zip gave.
#include <gtest/gtest.h>

#include <string>

#include "install/read_back_sums.h"

namespace {

TEST(ReadBackSums, Crc32InPiecesOfAnyLength)
{
    EXPECT_EQ(crc32_update(0, "", 0), 0u);
    EXPECT_EQ(crc32_update(0, "123456789", 9), 0xCBF43926u);
    // 1000 bytes, cut at every length: the pieces give the sum of the whole.
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>(i * 7 + i / 13);
    const uint32_t whole = crc32_update(0, data.data(), data.size());
    EXPECT_EQ(whole, 0x0AF1C7FBu) << std::hex << whole; // zlib.crc32 of the same bytes
    // The folding takes whole 16-byte blocks of 64 bytes and more, the tables
    // the rest: every length around those bounds, at every alignment.
    for (std::size_t length = 0; length <= 200; ++length)
        for (std::size_t at = 0; at < 16; at += 5) {
            uint32_t bytewise = 0xFFFFFFFFu;
            for (std::size_t i = at; i < at + length; ++i) {
                bytewise ^= static_cast<unsigned char>(data[i]);
                for (int bit = 0; bit < 8; ++bit)
                    bytewise = bytewise & 1 ? (bytewise >> 1) ^ 0xEDB88320u : bytewise >> 1;
            }
            ASSERT_EQ(crc32_update(0, data.data() + at, length), ~bytewise) << length << " " << at;
        }
    for (std::size_t cut = 0; cut <= 17; ++cut)
        EXPECT_EQ(
            crc32_update(crc32_update(0, data.data(), cut), data.data() + cut, data.size() - cut),
            whole)
            << cut;
}

TEST(ReadBackSums, TheSumOf7ZipsTest)
{
    uint64_t sum = 0;
    ASSERT_TRUE(read_data_sum("Files: 4\r\nSize:       2801664\r\n\r\n"
                              "CRC32  for data:              C0AEB37B-00000001\r\n"
                              "CRC32  for data and names:    347C5B1B-00000002\r\n",
                              &sum));
    EXPECT_EQ(sum, 0x1C0AEB37Bull);
    ASSERT_TRUE(read_data_sum("Size: 5\r\n\r\nCRC32  for data:              503400D6\r\n", &sum));
    EXPECT_EQ(sum, 0x503400D6ull);
    for (const char* none :
         {"", "Everything is Ok\r\n", "CRC32  for data and names: 1234\r\n",
          "CRC32  for data:              X\r\n", "CRC32  for data:              503400D6 more\r\n",
          "CRC32  for data:              1234567890\r\n"})
        EXPECT_FALSE(read_data_sum(none, &sum)) << none;
}

} // namespace
