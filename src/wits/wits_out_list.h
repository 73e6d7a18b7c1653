// What a station publishes as a WITS level 0 sender: parameter -> record and item
// (wits_out_format.h, docs/wits-out.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wits {

struct OutEntry {
  std::string identifier;
  int record = 0;
  int item = 0;
  bool operator==(const OutEntry&) const = default;
};

struct OutList {
  std::vector<OutEntry> entries;  // in file order
  // One message per line that could not be taken: "<file> line N: what; the line is skipped".
  std::vector<std::string> problems;
};

// Parses the file's bytes; `file` names it in the messages. A code given twice keeps its
// first line (a receiver would see only one value for it).
OutList parse_out_list(std::string_view bytes, const std::string& file);

}  // namespace wits
