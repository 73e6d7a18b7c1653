// The run totals in the state file "sys.bin" (docs/state-file.md): block "RaceTotal", layout 1,
// little-endian.
//
//    0  bottom-hole depth last seen, metres             float64
//    8  pumped volume, m³                               float64
//   16  reserved, kept as read                          int32
//   20  circulation ticks                               int32
//   24  tripping ticks                                  int32
//   28  drilling ticks                                  int32
//   32  total ticks                                     int32
//   36  ticks of operation 3 (reaming)                  int32
//   40  ticks of operation 4 (flushing)                 int32
//   44  other ticks                                     int32
//   48  start time, local seconds                       int32
//   52  end time, local seconds                         int32
//   56  start depth, metres                             float64
//   64  end depth, metres                               float64
//   72  stroke sum                                      float64
// in the full frame (data version 1, the one the state file uses) then
//   80  number of accumulators N (at most 512)          uint32
//   84  N accumulators of 12 bytes: sum (float64), count (int32), one per catalogue parameter
// and last, in every frame
//       tripping-deeper ticks                           int32
//       tripping-shallower ticks                        int32
//       bit depth at the previous tick, metres          float64
//
// The last three let a restart within a run keep the trip times split by direction.
// A reader refuses the whole block (the totals held stay as they were) when a count is
// negative, a number is not finite, N exceeds 512 or the bytes run out.
#pragma once

#include <cstddef>

namespace calc::race_format {

inline constexpr const char* kSerialName = "RaceTotal";
inline constexpr unsigned kStateVersion = 1;
// The data version whose frame carries the accumulators.
inline constexpr unsigned kFullFrame = 1;

inline constexpr std::size_t kHeadBytes = 80;
inline constexpr std::size_t kAccumulatorBytes = 12;
inline constexpr std::size_t kTailBytes = 16;
inline constexpr std::size_t kMaxAccumulators = 512;

}  // namespace calc::race_format
