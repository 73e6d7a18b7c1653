// An independent reading of the recording files' block frame for the tests, with the
// offsets written out here rather than taken from the format header, so a change of the
// header shows as a failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace recording_test {

struct Block {
  int type = 0;
  std::string payload;
};

inline std::vector<Block> blocks_of(const std::string& bytes) {
  std::vector<Block> out;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (bytes.size() - pos < 3) {
      ADD_FAILURE() << "cut block head at " << pos;
      break;
    }
    const auto len = static_cast<std::size_t>(static_cast<unsigned char>(bytes[pos + 1]) |
                                              static_cast<unsigned char>(bytes[pos + 2]) << 8);
    if (bytes.size() - pos - 3 < len) {
      ADD_FAILURE() << "cut block payload at " << pos;
      break;
    }
    out.push_back({static_cast<unsigned char>(bytes[pos]), bytes.substr(pos + 3, len)});
    pos += 3 + len;
  }
  return out;
}

inline std::vector<int> types_of(const std::string& bytes) {
  std::vector<int> t;
  for (const Block& b : blocks_of(bytes)) t.push_back(b.type);
  return t;
}

inline std::uint32_t u32_at(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

inline float f32_at(const std::string& s, std::size_t at) {
  const std::uint32_t bits = u32_at(s, at);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// The identifiers of a parameter block, read field by field.
inline std::vector<std::string> identifiers_of(const std::string& payload) {
  std::vector<std::string> ids;
  std::size_t pos = 0;
  const std::uint32_t n = u32_at(payload, pos);
  pos += 4;
  for (std::uint32_t i = 0; i < n; ++i) {
    std::string fields[4];
    for (std::string& f : fields) {
      const std::uint32_t len = u32_at(payload, pos);
      f = payload.substr(pos + 4, len);
      pos += 4 + len;
    }
    ids.push_back(fields[3]);
    pos += 8;
  }
  EXPECT_EQ(pos, payload.size());
  return ids;
}

}  // namespace recording_test
