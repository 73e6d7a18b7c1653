// Reading and writing the binary parameter file (layout in param_file_format.h and
// docs/parameter-file.md). The functions work on bytes in memory; the table decides what
// to do with the result, so a damaged file can be looked at without touching a table.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lib/binary_stream.h"
#include "lib/str_enc.h"
#include "params/param.h"
#include "params/param_file_format.h"

namespace params::param_file {

// One row in the layout of `version`, texts through the converter.
void write_row(lib::io::OutputStream& out, const lib::StrEncConverter& converter, const Param& row,
               int version);
// One record of the rows part. A row replaces `row` only when it was read whole. Throws
// lib::io::StreamError when the data ends inside a record.
RowRecord read_record(lib::io::InputStream& in, lib::StrEncConverter& converter, int& version,
                      Param& row);

// The whole file, in the current version.
std::string write(const std::vector<Param>& rows, const std::set<std::string>& db_params);

struct ReadResult {
  std::vector<Param> rows;                    // rows with an identifier, points attached
  std::set<std::string> db_params;            // as stored
  int version = 0;                            // of the file
  lib::StringEnc encoding = kLegacyEncoding;  // of its texts; the companion file shares it
  // The header names a version this program does not know; nothing else was read.
  bool refused = false;
  // One line per damage found (where it sits and what is wrong); the rows read before it
  // are kept here so they can be shown, but a table must not take a file with damage.
  // Empty for a sound file.
  std::vector<std::string> problems;
  // Things passed over that a sound file may hold (points of a row that has no
  // identifier); they do not make the file damaged.
  std::vector<std::string> warnings;
};

// Reads a file of any version. Never throws on bad data: what cannot be read is reported
// in `problems`. At most max_rows rows are taken; more is damage.
ReadResult read(std::string_view bytes, std::size_t max_rows);

}  // namespace params::param_file
