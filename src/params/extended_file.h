// Reading and writing the ".extended" companion of the parameter file (layout in
// extended_file_format.h and docs/parameter-file.md), on bytes in memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lib/str_enc.h"
#include "params/param.h"

namespace params::extended_file {

// Every row's identifier and extended information, texts in UTF-8.
std::string write(const std::vector<Param>& rows);

struct Entry {
  std::string identifier;
  ParamExtInfo info;
};

struct ReadResult {
  bool marked = false;                // the file starts with the mark; otherwise a problem
  std::vector<Entry> entries;         // the entries read whole, in file order
  std::vector<std::string> problems;  // damage found; entries before it are kept for showing
};

// Reads the companion with its texts in `encoding` (that of the parameter file). Never
// throws on bad data.
ReadResult read(std::string_view bytes, lib::StringEnc encoding);

}  // namespace params::extended_file
