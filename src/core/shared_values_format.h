// "data/kvb.dat": the small export that other programs on the rig PC read every second.
// Five little-endian IEEE-754 32-bit floats, no header (docs/kvb-dat.md):
//   0 bottom-hole depth, 4 bit depth, 8 hook load, 12 block position, 16 inlet pressure.
// A measured value (8, 12, 16) the last tick did not refresh is a quiet NaN, never the old
// number, so readers can tell a frozen source from a steady one.
// Writers and readers take an advisory flock on "data/kvb.dat.lock"; the file is also
// replaced atomically, so a reader that skips the lock still sees one whole record.
#pragma once

#include <cstddef>

namespace reg::kvb {

inline constexpr const char* kFileName = "data/kvb.dat";
inline constexpr const char* kLockFileName = "data/kvb.dat.lock";
inline constexpr std::size_t kValueCount = 5;
inline constexpr std::size_t kFileBytes = kValueCount * 4;

// Offsets of the values, in bytes.
inline constexpr std::size_t kBottomHoleDepth = 0;
inline constexpr std::size_t kBitDepth = 4;
inline constexpr std::size_t kHookLoad = 8;
inline constexpr std::size_t kBlockPosition = 12;
inline constexpr std::size_t kInletPressure = 16;

// The parameter identifiers whose current values fill the last three slots.
inline constexpr const char* kHookLoadParam = "вес_на_крюке";
inline constexpr const char* kBlockPositionParam = "тальблок";
inline constexpr const char* kInletPressureParam = "давление_на_входе";

}  // namespace reg::kvb
