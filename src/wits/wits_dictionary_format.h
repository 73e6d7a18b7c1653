// The WITS item dictionary: the names and units of record items, a CSV file of data read at
// run time (docs/wits-dictionary.md). Its first line names the columns; these must come first,
// in this order (more columns after them are allowed and ignored):
//
//   record,item,code,description,long_mnemonic,short_mnemonic,type,length,metric_unit,fps_unit
//   1,8,0108,Depth Bit (meas),DEPTBITM,DBTM,F,4,M,F
//
// Fields containing commas are in double quotes ("" is a quote inside them).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace wits::dictionary_format {

inline constexpr std::array<std::string_view, 10> kColumns = {
    "record",         "item", "code",   "description", "long_mnemonic",
    "short_mnemonic", "type", "length", "metric_unit", "fps_unit"};
inline constexpr std::size_t kRecordColumn = 0;
inline constexpr std::size_t kItemColumn = 1;
inline constexpr std::size_t kDescriptionColumn = 3;
inline constexpr std::size_t kShortMnemonicColumn = 5;
inline constexpr std::size_t kMetricUnitColumn = 8;
// A unit column holding only dashes means "no unit".
inline constexpr char kNoUnitChar = '-';
// The dictionary a station home may hold, used when none is named.
inline constexpr std::string_view kHomeFileName = "wits0_dictionary.csv";

}  // namespace wits::dictionary_format
