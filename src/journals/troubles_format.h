// The troubles log file, shared by its reader and writer (docs/troubles-log-file.md).
// Little-endian; strings are a 32-bit byte count and the bytes.
//   signature (string) "TROUBLES_LOG_FILE", version (int32), record count (int32), records:
//   key (8), type id (4), second id (4), start (date-time, 8), end (8), value 1 (4),
//   value 2 (4), value 3 (8), third id (4), text (string), version-2 field (4, from v2).
#pragma once

#include <cstddef>
#include <cstdint>

namespace journals::troubles_format {

inline constexpr const char* kSignature = "TROUBLES_LOG_FILE";

// Version 1: records end with the text; CP1251 text.
inline constexpr std::int32_t kVersionWithoutExtra = 1;
// Version 2: the version-2 field follows the text; still CP1251 text.
inline constexpr std::int32_t kVersionWithExtra = 2;
// Version 3: as version 2 with UTF-8 text. Always written.
inline constexpr std::int32_t kVersionUtf8 = 3;
inline constexpr std::int32_t kCurrentVersion = kVersionUtf8;

// Smallest record of each layout (an empty text), for checking a count against the bytes
// that follow it.
inline constexpr std::size_t kMinRecordBytesV1 = 8 + 4 + 4 + 8 + 8 + 4 + 4 + 8 + 4 + 4;
inline constexpr std::size_t kMinRecordBytes = kMinRecordBytesV1 + 4;

}  // namespace journals::troubles_format
