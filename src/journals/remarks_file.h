// Reading and writing the remarks file (layout in remarks_format.h and
// docs/remarks-file.md). Works on bytes, so the storage and the fuzz target share one
// codec. The file is shared with other station programs, so the reader takes both line
// layouts and both encodings, and a damaged line costs that line only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journals/text_record.h"

namespace text {

// One remark line in the current layout (UTF-8, no line end).
std::string format_remark_line(const Record& record);
// The whole file: the header lines, then one line per record, each ended by "\n".
std::string write_remarks_file(const std::vector<Record>& records);

// Parses one remark line (UTF-8). nullopt, with the reason in `problem`, when the line is
// not a remark: too few items, a quoted text that never closes, a time that is no number.
std::optional<Record> parse_remark_line(std::string_view line, std::string& problem);

struct RemarksFileContent {
  int version = 0;    // from the "version=" line; 0 when there is none
  bool utf8 = false;  // an "encoding=utf8" line (or a UTF-8 byte order mark) was seen
  std::vector<Record> records;
  // One text per line that could not be used: "line N: reason".
  std::vector<std::string> problems;
};

// Parses a whole file. Lines before an "encoding=utf8" line are CP1251; blank lines are
// skipped; a line that is not a remark is reported in `problems` and skipped.
RemarksFileContent read_remarks_file(std::string_view bytes);

}  // namespace text
