// Plain-text views of the catalogue and of a parameter file, for people reading them in a
// terminal. Columns are padded by characters, not bytes, so Cyrillic text lines up.
#pragma once

#include <optional>
#include <string>

#include "params/all_params.h"
#include "params/extended_file.h"
#include "params/param_file.h"

namespace params {

// One line per entry: number, identifier, full name, short name, unit, group name; only
// the entries of `group` when given.
std::string format_catalogue(const AllParams& catalogue, std::optional<int> group = {});

// The file's version and encoding, a table of its rows, their calibration points, the
// database set, the companion's extended information (when given) and every damage found.
std::string format_param_file(const param_file::ReadResult& file,
                              const extended_file::ReadResult* extended);

}  // namespace params
