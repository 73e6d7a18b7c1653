// The binary parameter file: layout constants shared by its reader and writer.
// Described in docs/parameter-file.md.
//
// All numbers are little-endian. A text is its bytes in the file's text encoding followed
// by one zero byte. Layout:
//   header       "ver=" text, int32 version           (absent in version 0 files)
//   rows         per row: full name, short name, unit, identifier (texts); int32 channel;
//                float range, zero, scale minimum, scale maximum; int32 averaging;
//                byte attribute; int32 module (version 3+); int32 channel type (version 4+)
//   end of rows  the text "\n"
//   calibration  per row with a channel >= 0: int32 row index, int32 count, count pairs of
//                double x, double y
//   end          int32 -10                            (version 2+)
//   database set int32 count, then the identifiers    (version 2+)
#pragma once

#include <cstdint>
#include <string_view>

#include "lib/str_enc.h"

namespace params::param_file {

// First text of the header; a row can never start with it.
inline constexpr std::string_view kHeaderMark = "ver=";
// The version this program writes, and the newest it reads.
inline constexpr std::int32_t kCurrentVersion = 4;
// From this version on the texts after the header are UTF-8; before it, CP1251.
inline constexpr std::int32_t kFirstUtf8Version = 1;
// From this version on: the calibration part ends with kEndOfCalibration and the
// database set follows.
inline constexpr std::int32_t kFirstDbSetVersion = 2;
// From this version on every row carries its module number.
inline constexpr std::int32_t kFirstModuleVersion = 3;
// From this version on every row carries its channel type.
inline constexpr std::int32_t kFirstChannelTypeVersion = 4;

// The text that closes the rows part (bytes 0x0A 0x00).
inline constexpr std::string_view kEndOfRows = "\n";
// Ends the calibration part in version 2+ files.
inline constexpr std::int32_t kEndOfCalibration = -10;
// Older writers ended the calibration part with -1 as an index or a count.
inline constexpr std::int32_t kOldEndOfCalibration = -1;

// Encoding of files without a header, and of the header itself.
inline constexpr lib::StringEnc kLegacyEncoding = lib::StringEnc::kCp1251;
inline constexpr lib::StringEnc kCurrentEncoding = lib::StringEnc::kUtf8;

// Bytes of one calibration point (two doubles).
inline constexpr std::size_t kPointBytes = 16;

// The suffix of the companion file holding the rows' extended information.
inline constexpr std::string_view kExtendedSuffix = ".extended";

// What one record of the rows part turned out to be.
enum class RowRecord {
  kRow,        // a row was read
  kHeader,     // the header was read; version and encoding are updated
  kEndOfRows,  // the end-of-rows text
  kEndOfFile,  // nothing was left to read
};

}  // namespace params::param_file
