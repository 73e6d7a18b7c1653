// The key that identifies a record of the binary journals (troubles, mud log, mud
// additives): two 32-bit halves, both -1 in a record that was never given one. Editors find
// a record again by its key alone, whatever its other fields hold.
#pragma once

#include <cstdint>

#include "lib/binary_stream.h"

namespace journals {

struct JournalKey {
  std::int32_t low = -1;
  std::int32_t high = -1;
  bool operator==(const JournalKey&) const = default;
};

// False for the key of a record that was never given one: such a key identifies nothing.
inline bool is_set(const JournalKey& key) {
  return !(key == JournalKey{});
}

// Eight bytes: the low half, then the high half, each little-endian.
inline constexpr std::size_t kKeyBytes = 8;

inline void write_key(lib::io::OutputStream& out, const JournalKey& key) {
  lib::io::write_binary(out, key.low);
  lib::io::write_binary(out, key.high);
}

inline JournalKey read_key(lib::io::InputStream& in) {
  JournalKey key;
  lib::io::read_binary(in, key.low);
  lib::io::read_binary(in, key.high);
  return key;
}

}  // namespace journals
