// Survey stations as a CSV file (docs/survey-csv.md), shared by its reader and writer.
#pragma once

#include <cstddef>

namespace pore::survey_csv {

// The largest survey file read: a station row takes some 30 bytes, so this holds over a
// hundred thousand stations; a larger file (or an endless input) is refused unread.
inline constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;

// The separator the writer uses; the reader also takes "," and tab.
inline constexpr char kSeparator = ';';
inline constexpr const char* kHeader[] = {"глубина_м", "зенит_град", "азимут_град"};

// Columns of a station row; further columns (computed values from other programs) are
// ignored.
inline constexpr int kDepthField = 0;
inline constexpr int kZenitField = 1;
inline constexpr int kAzimutField = 2;
inline constexpr int kFieldCount = 3;

}  // namespace pore::survey_csv
