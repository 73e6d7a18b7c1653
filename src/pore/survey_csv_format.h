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

// The computed trajectory written for other programs (rigstation survey --csv): the three
// station columns above, then what the calculation found. The survey reader takes such a
// file back, ignoring the computed columns.
inline constexpr const char* kTrajectoryHeader[] = {
    "глубина_м", "зенит_град", "азимут_град", "верт_глубина_м",   "абс_отметка_м",
    "север_м",   "восток_м",   "смещение_м",  "искривление_град", "интенсивность_град_на_30м"};
// The last column's title when the severity is given per 100 ft.
inline constexpr const char* kSeverityPer100ftTitle = "интенсивность_град_на_100фут";
inline constexpr int kTrajectoryFieldCount = 10;
// Trajectory files are written with "\n" line ends and no byte-order mark: they go to a
// pipe or a program more often than to a spreadsheet.

}  // namespace pore::survey_csv
