// The mud log file, shared by its reader and writer (docs/mud-log-file.md). Little-endian;
// strings are a 32-bit byte count and the bytes.
//   signature (string) "MUD_LOG_FILE", version (int32), record count (int32), records:
//   key (8), time (date-time, 8), mud type (string), measurements (8 bytes each: 16 in
//   versions 1 and 2, 18 from version 3).
#pragma once

#include <cstddef>
#include <cstdint>

namespace journals::mud_log_format {

inline constexpr const char* kSignature = "MUD_LOG_FILE";

// Version 1: CP1251 text, 16 measurements.
inline constexpr std::int32_t kVersionCp1251 = 1;
// Version 2: UTF-8 text, 16 measurements.
inline constexpr std::int32_t kVersionUtf8 = 2;
// Version 3: UTF-8 text, 18 measurements (lubricant and MBT added). Always written.
inline constexpr std::int32_t kVersionAllMeasurements = 3;
inline constexpr std::int32_t kCurrentVersion = kVersionAllMeasurements;

inline constexpr std::size_t kMeasurementsBeforeV3 = 16;
inline constexpr std::size_t kMeasurements = 18;

// Smallest record of each layout (an empty mud type).
inline constexpr std::size_t kMinRecordBytesBeforeV3 = 8 + 8 + 4 + kMeasurementsBeforeV3 * 8;
inline constexpr std::size_t kMinRecordBytes = 8 + 8 + 4 + kMeasurements * 8;

}  // namespace journals::mud_log_format
