// The drill-string tally as a CSV file (docs/tally-csv.md), shared by its reader and writer.
#pragma once

#include <cstddef>

namespace instr::tally_csv {

// The largest tally file read: a string of thousands of pipes takes well under a hundred
// KiB; a larger file (or an endless input) is refused unread.
inline constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;

// The separator the writer uses; the reader also takes "," and tab (csv::detect_separator).
inline constexpr char kSeparator = ';';

// A row whose first field is this keyword holds the number of pipes per stand.
inline constexpr const char* kSvechaSizeKey = "трубок_в_свече";

// The header row; the reader recognises it by its first field.
inline constexpr const char* kTypeColumn = "тип";
inline constexpr const char* kHeader[] = {"тип",       "количество", "наружный_диаметр_мм",
                                          "стенка_мм", "вес_метра",  "длины_труб_м"};

// Element rows: type, count, outer diameter, wall, weight of one metre, then one column per
// pipe of a piece.
inline constexpr int kTypeField = 0;
inline constexpr int kCountField = 1;
inline constexpr int kDiameterField = 2;
inline constexpr int kWallField = 3;
inline constexpr int kWeightField = 4;
inline constexpr int kFirstLengthField = 5;

}  // namespace instr::tally_csv
