// The drill-string tally as a CSV file a mud logger edits in a spreadsheet and imports
// (format in docs/tally-csv.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "instr/items.h"
#include "lib/file_system.h"

namespace instr {

struct TallyCsvResult {
  std::vector<Elem> elems;
  int svecha_size = Items::kDefaultSvechaSize;
  // One entry per row that could not be taken: "line N: reason".
  std::vector<std::string> problems;
};

// Reads a tally from file bytes. Rows that do not parse are left out and reported with their
// line numbers; the others are returned.
TallyCsvResult parse_tally_csv(std::string_view bytes);

// The tally as file bytes: UTF-8 with a byte-order mark (so spreadsheets take it as UTF-8),
// ";" separated, "." decimals, CRLF line ends.
std::string tally_to_csv(const Items& items);

// Imports a tally file into `items`. The tally is replaced only when the file was read and
// every row parsed; otherwise `items` is untouched and `problems` says why. A tally already
// in the station is never lost to a damaged file.
bool load_tally_csv(const std::string& path, Items& items, std::vector<std::string>& problems,
                    lib::FileSystem& fs);

// Writes the tally file atomically; throws lib::io::StreamError on failure (the old file is
// then untouched).
void save_tally_csv(const std::string& path, const Items& items, lib::FileSystem& fs);

}  // namespace instr
