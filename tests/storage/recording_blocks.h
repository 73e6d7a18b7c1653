// An independent reading of the recording files' block frame for the tests, with the
// offsets written out here rather than taken from the format header, so a change of the
// header shows as a failure; and a writer of files of the earlier version 2.3.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/crc32c.h"

namespace recording_test {

inline std::uint32_t u32_at(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

struct Block {
  int type = 0;
  std::string payload;
};

// The blocks of a file. In a stretch of version 2.4 every block must end with its check,
// every parameter block must come twice (the pair is given as one block) and every values
// block must carry the check of the parameter block before it.
inline std::vector<Block> blocks_of(const std::string& bytes) {
  std::vector<Block> out;
  std::size_t pos = 0;
  bool checked = false;
  std::uint32_t params_check = 0;
  while (pos < bytes.size()) {
    if (bytes.size() - pos < 3) {
      ADD_FAILURE() << "cut block head at " << pos;
      break;
    }
    const int type = static_cast<unsigned char>(bytes[pos]);
    const auto len = static_cast<std::size_t>(static_cast<unsigned char>(bytes[pos + 1]) |
                                              static_cast<unsigned char>(bytes[pos + 2]) << 8);
    if (type == 99 && len == 8 && bytes.size() - pos >= 11) checked = bytes[pos + 7] == 4;
    const std::size_t size = 3 + len + (checked ? 4 : 0);
    if (bytes.size() - pos < size) {
      ADD_FAILURE() << "cut block at " << pos;
      break;
    }
    Block b{type, bytes.substr(pos + 3, len)};
    if (checked) {
      const std::uint32_t check = u32_at(bytes, pos + 3 + len);
      EXPECT_EQ(check, lib::crc32c(bytes.data() + pos, 3 + len)) << "block at " << pos;
      if (type == 2) {
        EXPECT_EQ(bytes.substr(pos + size, size), bytes.substr(pos, size))
            << "the parameter block at " << pos << " has no copy after it";
        pos += size;
        params_check = check;
      }
      if (type == 1) {
        EXPECT_EQ(u32_at(b.payload, 17), params_check) << "values block at " << pos;
      }
    }
    out.push_back(std::move(b));
    pos += size;
  }
  return out;
}

// Version 2.3 blocks, as the writer made them before blocks were checked: no check after
// the payload, one parameter block, zeros in the reserved bytes of a values block.
inline std::string plain_block(int type, const std::string& payload) {
  return std::string{static_cast<char>(type), static_cast<char>(payload.size() & 0xFF),
                     static_cast<char>(payload.size() >> 8)} +
         payload;
}
inline std::string plain_version_block() {
  return plain_block(99, std::string("\x02\0\0\0\x03\0\0\0", 8));
}
inline std::string plain_params_block(const std::vector<std::string>& ids) {
  auto u32 = [](std::size_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  std::string p = u32(ids.size());
  for (const std::string& id : ids) {
    for (const std::string& field : {"имя " + id, std::string("м"), id, id}) {
      p += u32(field.size()) + field;
    }
    p += std::string(8, '\0');  // scale 0 .. 0
  }
  return plain_block(2, p);
}

inline std::vector<int> types_of(const std::string& bytes) {
  std::vector<int> t;
  for (const Block& b : blocks_of(bytes)) t.push_back(b.type);
  return t;
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
