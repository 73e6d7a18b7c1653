// The WITS configuration text file that maps parameter rows to a WITS server: layout
// constants shared by its reader and the load report. Described in docs/wits-config.md.
// One mapping per line, tokens separated by blanks (a token with blanks in double quotes):
//   identifier  full-name  short-name  unit  server  code
// The code ("RRII", record and item, two decimal digits each) names the WITS item whose
// value feeds the row; files written before it existed have five tokens and still load.
// Text is CP1251 unless a line "#version N" with N > 0 switches the lines after it to UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

#include "lib/str_enc.h"

namespace params::wits_config {

inline constexpr std::string_view kVersionToken = "#version";
inline constexpr lib::StringEnc kLegacyEncoding = lib::StringEnc::kCp1251;
inline constexpr lib::StringEnc kVersionedEncoding = lib::StringEnc::kUtf8;

// Token positions of a mapping line.
inline constexpr int kIdentifierToken = 0;
inline constexpr int kFullNameToken = 1;
inline constexpr int kShortNameToken = 2;
inline constexpr int kUnitToken = 3;
inline constexpr int kServerToken = 4;
inline constexpr int kCodeToken = 5;
inline constexpr std::size_t kCodeDigits = 4;

// Endings of the load report lines.
inline constexpr std::string_view kAddedSuffix = " добавлен";
inline constexpr std::string_view kChangedSuffix = " изменен";

}  // namespace params::wits_config
