// The stand counter in the state file "sys.bin" (docs/state-file.md, docs/stand-counter.md):
// block "CandleCounter", layout 1, little-endian.
//
//   0  stands in the hole                    int32, 0 .. kMaxCount
//   4  single pipes beyond whole stands      int32, 0 .. kMaxCount
//
// A reader refuses the block (the counts held stay as they were) when a count is outside
// its range or the bytes run out. The sample history is not saved: after a restart the
// counter waits for the block's next runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace candles::format {

inline constexpr const char* kSerialName = "CandleCounter";
inline constexpr unsigned kStateVersion = 1;
inline constexpr std::size_t kBytes = 8;
// Far beyond the deepest well's stands; a larger count can only be damage.
inline constexpr std::int32_t kMaxCount = 100000;

}  // namespace candles::format
