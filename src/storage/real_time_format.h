// The run recording files (docs/real-time-files.md): the time, depth, lag-depth and fast
// files of a bit run. A file is a plain sequence of blocks with no file header; all numbers
// little-endian, floats IEEE 754, strings as lib::io frames them (32-bit byte count, then
// UTF-8 bytes).
//
//   block:  0      type                      uint8
//           1      payload length L          uint16
//           3      payload                   L bytes
//           3 + L  check                     uint32 CRC-32C of the 3 + L bytes before it
//                                            (version 2.4 only; version 2.3 blocks end at 3 + L)
//
//   type 99, version:    int32 2, int32 4 (2.3: int32 3); its own framing   (L = 8)
//   type 2,  parameters: int32 count, then per parameter: full name, unit, short name,
//                        identifier (strings), scale minimum, scale maximum (float32);
//                        version 2.4 writes every parameter block twice in a row
//   type 3,  text:       one string of key=value lines joined by "\r\n"
//   type 1,  values:     the fixed 45 bytes below, then count float32 values in the order
//                        of the parameter block in force; version 2.4 puts the check of
//                        that parameter block in the first reserved bytes
//
// A version block says how the blocks after it are framed, up to the next version block; the
// writer writes version 2.4, the reader takes both.
//
// The writer and the reader both take every size and offset from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rtf {

inline constexpr std::uint8_t kBlockValues = 1;
inline constexpr std::uint8_t kBlockParams = 2;
inline constexpr std::uint8_t kBlockText = 3;
inline constexpr std::uint8_t kBlockVersion = 99;

inline constexpr std::size_t kBlockHeadBytes = 3;
// The payload length is 16 bits wide: a block can never hold more.
inline constexpr std::size_t kMaxPayloadBytes = 0xFFFF;

// Version block payload: 2, then 3 for blocks that end with their payload, 4 for blocks
// that end with a check (the version the writer writes).
inline constexpr std::int32_t kVersionFirst = 2;
inline constexpr std::int32_t kVersionPlain = 3;
inline constexpr std::int32_t kVersionChecked = 4;
inline constexpr std::size_t kVersionPayloadBytes = 8;
// A whole version 2.3 block, the mark a reader resynchronises on after damage in a file of
// that version.
inline constexpr std::size_t kVersionBlockBytes = kBlockHeadBytes + kVersionPayloadBytes;

// Version 2.4: the CRC-32C (lib/crc32c.h) of a block's head and payload follows its payload.
// A reader checks every block with it, and after damage takes up again at the first offset
// where a whole block checks.
inline constexpr std::size_t kCheckBytes = 4;
// Copies of each parameter block: damage to one leaves the other for the lines after it.
inline constexpr int kParamsCopies = 2;

// Parameter block: the count, then the strings and two float32 per parameter.
inline constexpr std::size_t kParamsCountBytes = 4;
inline constexpr std::size_t kParamsScaleBytes = 8;
// The parameter strings are UTF-8 (string encoding code 3).
inline constexpr int kStringEncoding = 3;

// Values block payload offsets.
inline constexpr std::size_t kValTime = 0;        // uint32 local seconds
inline constexpr std::size_t kValFirstDepth = 4;  // float32 metres
inline constexpr std::size_t kValThirdDepth = 8;  // float32 metres
inline constexpr std::size_t kValOperation = 12;  // uint8
inline constexpr std::size_t kValBitDepth = 13;   // float32 metres
inline constexpr std::size_t kValReserved = 17;   // 8 zero bytes (2.3)
inline constexpr std::size_t kValReservedBytes = 8;
// Version 2.4: the check of the parameter block the values belong to (uint32), then 4 zero
// bytes. A line read after damage is taken only against its own list.
inline constexpr std::size_t kValListCheck = 17;
inline constexpr std::size_t kValConstA = 25;          // int32 14
inline constexpr std::size_t kValConstB = 29;          // int32 5
inline constexpr std::size_t kValConstC = 33;          // int32 4
inline constexpr std::size_t kValHundredthsBy2 = 37;   // uint8 hundredths / 2
inline constexpr std::size_t kValHundredthsBy7 = 38;   // uint8 hundredths / 7
inline constexpr std::size_t kValHundredthsBy10 = 39;  // uint8 hundredths / 10
inline constexpr std::size_t kValHundredths = 40;      // uint8 0..99
inline constexpr std::size_t kValCount = 41;           // int32 k
inline constexpr std::size_t kValFirstValue = 45;      // k float32
inline constexpr std::size_t kValFixedBytes = 45;
inline constexpr std::int32_t kValConstAValue = 14;
inline constexpr std::int32_t kValConstBValue = 5;
inline constexpr std::int32_t kValConstCValue = 4;
// The most values one block can carry.
inline constexpr std::size_t kMaxValuesPerBlock = (kMaxPayloadBytes - kValFixedBytes) / 4;

// File names: the folder, the run number padded with zeros to four digits, a suffix.
inline constexpr int kRunNumberDigits = 4;
inline constexpr const char* kTimeSuffix = ".realtim";
inline constexpr const char* kDepthSuffix = ".realdep";
inline constexpr const char* kLagSuffix = ".reallag";
inline constexpr const char* kFastSuffix = ".fast.realtim";
inline constexpr const char* kRaceSuffix = ".race";
inline constexpr const char* kInstrSuffix = ".instr";
inline constexpr const char* kPoreSuffix = ".pore";
inline constexpr const char* kFolderFile = ".used";
// An empty file the writer keeps in the folder: it tells the viewers of the files that the
// writer takes no lock on them, so they may append while it runs.
inline constexpr const char* kNoLockingMarker = ".nolocking";

}  // namespace rtf
