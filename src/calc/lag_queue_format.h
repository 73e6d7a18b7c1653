// The lag-depth queue in the state file "sys.bin" (docs/lag-queue.md): block "DelayedDepth",
// layout 1, little-endian.
//
//   0  lag depth, metres                          float64
//   8  time until the next mark comes out, or -1  int32
// in the full frame (data version 1, the one the state file uses) then
//  12  number of marks N                          uint32
//  16  N marks of 8 bytes: depth (metres, float32), volume still to pump (float32)
//
// A reader takes no more marks than the bytes left can hold, whatever N says, and drops marks
// whose numbers are not finite; it says what it dropped.
#pragma once

#include <cstddef>

namespace calc::lag_format {

inline constexpr const char* kSerialName = "DelayedDepth";
inline constexpr unsigned kStateVersion = 1;
// The data version whose frame carries the marks.
inline constexpr unsigned kFullFrame = 1;

inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::size_t kCountBytes = 4;
inline constexpr std::size_t kMarkBytes = 8;

}  // namespace calc::lag_format
