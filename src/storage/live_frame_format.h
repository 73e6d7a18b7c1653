// "data/live_frame.dat": the station's live frame, what a program beside the station (the
// office forwarder, a display) needs to show the rig as it is now: every parameter's value
// with its stale and alarm marks, the depths, the operation, the current alarms and the
// registration run (docs/live-frame.md). The station rewrites it every kPeriodMs.
//
// Little-endian; strings as lib::io frames them (32-bit byte count, then UTF-8 bytes):
//
//   0  magic "RLFR"                       4 bytes
//   4  layout version (1)                 uint16
//   6  reserved, zero                     uint16
//   8  frame length in bytes, CRC incl.   uint32   (the file's size)
//  12  sequence number                    uint32   (one more each write; wraps)
//  16  time                               uint32   local seconds since 1970 (as recordings)
//  20  milliseconds                       uint16
//  22  flags                              uint16   bit 0: a registration run is active
//  24  run number                         int32
//  28  bottom-hole, bit, lag depth, block position   4 x float32, metres
//  44  operation code                     int32
//  48  operation name                     string
//      value count n                      uint32
//      n x: identifier, name, unit        3 strings
//           value                         float32
//           marks                         uint8    bit 0 stale, bit 1 alarm, bit 2 not valid
//      alarm count m                      uint32
//      m x: alarm text                    string
//      CRC-32 (IEEE 802.3) of every byte before it                 uint32
//
// Written like "data/kvb.dat" (in the same folder, so it moves with it): rewritten in place, so
// a reader may catch parts of two frames; the length and the CRC let a reader tell such a read
// (and a copy cut short, a damaged disk) from a whole frame and read again or refuse it
// instead of showing it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace live {

inline constexpr const char* kFileName = "data/live_frame.dat";
inline constexpr char kMagic[4] = {'R', 'L', 'F', 'R'};
inline constexpr std::uint16_t kLayoutVersion = 1;
// How often the station rewrites the frame.
inline constexpr std::int64_t kPeriodMs = 2000;

inline constexpr std::size_t kMagicAt = 0;
inline constexpr std::size_t kVersionAt = 4;
inline constexpr std::size_t kLengthAt = 8;
inline constexpr std::size_t kSequenceAt = 12;
inline constexpr std::size_t kTimeAt = 16;
inline constexpr std::size_t kMillisecondsAt = 20;
inline constexpr std::size_t kFlagsAt = 22;
inline constexpr std::size_t kRaceAt = 24;
inline constexpr std::size_t kDepthsAt = 28;
inline constexpr std::size_t kOperationAt = 44;
inline constexpr std::size_t kOperationNameAt = 48;
inline constexpr std::size_t kCrcBytes = 4;

inline constexpr std::uint16_t kFlagRaceActive = 1;
inline constexpr std::uint8_t kMarkStale = 1;
inline constexpr std::uint8_t kMarkAlarm = 2;
inline constexpr std::uint8_t kMarkNotValid = 4;

// A frame is small (a few KiB for a full table); anything larger is not one.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{1} << 20;

}  // namespace live
