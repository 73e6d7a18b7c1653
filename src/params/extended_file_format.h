// The ".extended" companion of the parameter file: the rows' extended information.
// Described in docs/parameter-file.md. Texts are stream strings (32-bit byte count, then
// the bytes) in the encoding of the parameter file it belongs to.
//   mark   the string "EXT_NBL_FILE"
//   count  int32 number of entries
//   entry  identifier (string); int32 pair count; per pair key and value (strings)
#pragma once

#include <string_view>

namespace params::extended_file {

// Without this mark a file is not an extended file and is ignored.
inline constexpr std::string_view kMark = "EXT_NBL_FILE";
// The smallest entry: an empty identifier and a pair count of zero.
inline constexpr std::size_t kMinEntryBytes = 8;

}  // namespace params::extended_file
