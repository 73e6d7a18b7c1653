// The derived values file: the operator's "name = formula" lines, read by the plug-in.
//
//   ; comment                 (also "#")
//   [any section]             (ignored; sections only group lines for the reader's eye)
//   удельный_вес = вес_на_крюке / 1000
//
// UTF-8, an optional byte-order mark, lines ended by LF or CR LF. The name is everything
// before the first '=' (trimmed); the formula is the rest (a formula may itself use '=').
#pragma once

namespace derived_values {

inline constexpr const char* kFileName = "derived_values.ini";
inline constexpr char kSeparator = '=';
inline constexpr char kCommentChars[] = ";#";
inline constexpr char kSectionOpen = '[';
inline constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";
// Files larger than this are refused whole: no operator writes a megabyte of formulas.
inline constexpr unsigned long kMaxFileBytes = 1024 * 1024;

}  // namespace derived_values
