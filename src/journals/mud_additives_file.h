// Reading and writing the mud additives file (layout in mud_additives_format.h and
// docs/mud-additives-file.md). Works on bytes, so the journal, the state file and the fuzz
// target share one codec.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journals/mud_additive.h"
#include "lib/binary_stream.h"

namespace journals {

// The whole file in the current layout (version 2, UTF-8 text).
std::string write_mud_additives_file(const std::vector<MudAdditive>& items);

struct MudAdditivesFileContent {
  std::int32_t version = 0;
  std::vector<MudAdditive> items;
};

// Parses a whole file; version 1 carries CP1251 text, version 2 UTF-8. Throws
// lib::io::StreamError for a foreign signature, an unknown version, a count that does not
// fit or a record cut short.
MudAdditivesFileContent read_mud_additives_file(std::string_view bytes);

// One record, in the stream's string encoding (the layout is the same in every version).
void write_mud_additive(lib::io::OutputStream& out, const MudAdditive& item);
MudAdditive read_mud_additive(lib::io::InputStream& in);

}  // namespace journals
