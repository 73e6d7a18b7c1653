// The mud additives file, shared by its reader and writer (docs/mud-additives-file.md).
// Little-endian; strings are a 32-bit byte count and the bytes.
//   signature (string) "MUD_ADDITIVES_FILE", version (int32), record count (int32),
//   records: key (8), text (string), number (int32), start (date-time, 8), end (8).
#pragma once

#include <cstddef>
#include <cstdint>

namespace journals::mud_additives_format {

inline constexpr const char* kSignature = "MUD_ADDITIVES_FILE";

// Version 1: CP1251 text. Version 2: UTF-8 text, always written. The records are alike.
inline constexpr std::int32_t kVersionCp1251 = 1;
inline constexpr std::int32_t kVersionUtf8 = 2;
inline constexpr std::int32_t kCurrentVersion = kVersionUtf8;

// Smallest record (an empty text).
inline constexpr std::size_t kMinRecordBytes = 8 + 4 + 4 + 8 + 8;

}  // namespace journals::mud_additives_format
