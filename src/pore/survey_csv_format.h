// Survey stations as a CSV file (docs/survey-csv.md), shared by its reader and writer.
#pragma once

namespace pore::survey_csv {

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
