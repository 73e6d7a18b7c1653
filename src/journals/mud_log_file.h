// Reading and writing the mud log file (layout in mud_log_format.h and
// docs/mud-log-file.md). Works on bytes, so the log, the state file and the fuzz target
// share one codec.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journals/mud_log_item.h"
#include "lib/binary_stream.h"

namespace journals {

// The whole file in the current layout (version 3: UTF-8 text, all 18 measurements).
std::string write_mud_log_file(const std::vector<MudLogItem>& items);

struct MudLogFileContent {
  std::int32_t version = 0;
  std::vector<MudLogItem> items;
};

// Parses a whole file. Version 1 carries CP1251 text, later ones UTF-8; versions 1 and 2
// hold 16 measurements, the last two read as 0. Throws lib::io::StreamError for a foreign
// signature, an unknown version, a count that does not fit or a record cut short.
MudLogFileContent read_mud_log_file(std::string_view bytes);

// One record in the current layout, in the stream's string encoding.
void write_mud_log_item(lib::io::OutputStream& out, const MudLogItem& item);
// One record of the given file version.
MudLogItem read_mud_log_item(lib::io::InputStream& in, std::int32_t version);

}  // namespace journals
