#include "lib/crc32c.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Published check values of CRC-32C: the catalogue's "123456789" and the examples of the
// iSCSI standard (RFC 3720, B.4).
TEST(Crc32c, GivesThePublishedValues) {
  std::string ascending, descending;
  for (int i = 0; i < 32; ++i) {
    ascending.push_back(static_cast<char>(i));
    descending.push_back(static_cast<char>(31 - i));
  }
  const std::pair<std::string, std::uint32_t> cases[] = {{"123456789", 0xE3069283},
                                                         {std::string(32, '\0'), 0x8A9136AA},
                                                         {std::string(32, '\xFF'), 0x62A8AB43},
                                                         {ascending, 0x46DD794E},
                                                         {descending, 0x113FDB5C},
                                                         {"", 0}};
  for (const auto& [bytes, crc] : cases) {
    EXPECT_EQ(lib::crc32c(bytes.data(), bytes.size()), crc) << bytes.size() << " bytes";
    EXPECT_EQ(lib::detail::crc32c_portable(bytes.data(), bytes.size()), crc);
  }
}

// The fast path runs three streams over 384 bytes at a time and the rest one by one: every
// length across those seams, at every alignment, and in two pieces, gives the tables' value.
TEST(Crc32c, EveryLengthAlignmentAndSplitAgreesWithTheTables) {
  std::vector<unsigned char> data(1300);
  std::uint32_t x = 1;
  for (auto& b : data) b = static_cast<unsigned char>((x = x * 1664525u + 1013904223u) >> 24);
  for (std::size_t start = 0; start < 8; ++start) {
    for (std::size_t n = 0; start + n <= data.size(); ++n) {
      const unsigned char* p = data.data() + start;
      const std::uint32_t whole = lib::detail::crc32c_portable(p, n);
      ASSERT_EQ(lib::crc32c(p, n), whole) << n << " bytes from " << start;
      ASSERT_EQ(lib::crc32c(p + n / 3, n - n / 3, lib::crc32c(p, n / 3)), whole) << n;
    }
  }
}

}  // namespace
