// The text file holding one row's calibration points: layout constants shared by its
// reader and writer. Described in docs/calibration-file.md.
//   line 1   "encoding=utf8"            (files without it are CP1251)
//   line 2   "param_name=" identifier
//   line 3…  one point per line, printf "%15e %15e": x in columns 1-15, y in 17-31
#pragma once

#include <cstddef>
#include <string_view>

namespace params::calibration_file {

inline constexpr std::string_view kEncodingKey = "encoding=";
inline constexpr std::string_view kUtf8Name = "utf8";
inline constexpr std::string_view kNameKey = "param_name=";
inline constexpr const char* kPointFormat = "%15e %15e";
// Column layout of a point line (0-based offsets).
inline constexpr std::size_t kNumberWidth = 15;
inline constexpr std::size_t kXOffset = 0;
inline constexpr std::size_t kYOffset = 16;

}  // namespace params::calibration_file
