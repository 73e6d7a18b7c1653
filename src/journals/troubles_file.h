// Reading and writing the troubles log file (layout in troubles_format.h and
// docs/troubles-log-file.md). Works on bytes, so the log, the state file and the fuzz
// target share one codec.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journals/troubles_record.h"
#include "lib/binary_stream.h"

namespace journals {

// The whole file in the current layout (version 3, UTF-8 text).
std::string write_troubles_file(const std::vector<TroublesLogRecord>& records);

struct TroublesFileContent {
  std::int32_t version = 0;
  std::vector<TroublesLogRecord> records;
};

// Parses a whole file. Versions 1 and 2 carry CP1251 text, version 3 UTF-8. Throws
// lib::io::StreamError for a foreign signature, an unknown version, a count that does not
// fit the file or a record cut short; nothing is returned half-read.
TroublesFileContent read_troubles_file(std::string_view bytes);

// One record in the current layout, in the stream's string encoding.
void write_troubles_record(lib::io::OutputStream& out, const TroublesLogRecord& record);
// One record of the given file version (1 omits the version-2 field).
TroublesLogRecord read_troubles_record(lib::io::InputStream& in, std::int32_t version);

}  // namespace journals
