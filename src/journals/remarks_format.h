// The remarks file, shared by its reader and writer (docs/remarks-file.md). A text file,
// one remark per line after two header lines:
//   encoding=utf8
//   version=2
//   0.00 0.00 <time> <kind> "<text>" 0 0 <size> <colour> <number> <extra>
// Files of the older layout have no encoding line (their text is CP1251) and remark lines
// of nine items: ... <size> <number>, without colour and extra.
#pragma once

#include <cstdint>

namespace text::remarks_format {

inline constexpr const char* kEncodingPrefix = "encoding=";
inline constexpr const char* kEncodingUtf8 = "utf8";
inline constexpr const char* kVersionPrefix = "version=";
inline constexpr int kVersion = 2;

// The two numbers every remark line starts with; readers skip them.
inline constexpr const char* kLineStart = "0.00 0.00";
// The two numbers written after the text; readers skip them.
inline constexpr const char* kAfterText = "0 0";

// Item positions, counted from 0.
inline constexpr int kTimeItem = 2;
inline constexpr int kKindItem = 3;
inline constexpr int kTextItem = 4;
inline constexpr int kSizeItem = 7;
// The older layout: the number follows the size.
inline constexpr int kOldNumberItem = 8;
// The current layout.
inline constexpr int kColourItem = 8;
inline constexpr int kNumberItem = 9;
inline constexpr int kExtraItem = 10;

// A line with fewer items is not a remark; one with fewer than kFullLayoutItems is of the
// older layout.
inline constexpr int kMinItems = kSizeItem + 1;
inline constexpr int kFullLayoutItems = kNumberItem + 1;

// Values taken when the file has none or an unusable one.
inline constexpr std::int32_t kDefaultSize = 9;
inline constexpr std::uint32_t kDefaultColour = 0xFFFFFF;

}  // namespace text::remarks_format
