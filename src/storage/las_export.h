// Writes what a recording file holds as LAS 2.0 text (docs/las-export.md): one curve per
// parameter met anywhere in the file, in the order first met (a line without a parameter
// gives the null value), indexed by depth or by time. LAS 2.0 is ASCII: Russian mnemonics,
// units and texts are transliterated, and the Russian name stays readable in the
// description's transliteration.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "storage/real_time_reader.h"

namespace rtf {

struct LasOptions {
  bool by_time = false;  // the time file: index TIME in seconds; else DEPT in metres
  // Identifiers to export (case not regarded), in this order; empty: every parameter.
  std::vector<std::string> params;
  // Told every `progress_every` lines with the lines written and the total; may be empty.
  std::function<void(std::size_t, std::size_t)> progress;
  std::size_t progress_every = 100000;
};

struct LasResult {
  std::string text;
  // Requested identifiers the file does not hold (their curves are not written).
  std::vector<std::string> unknown_params;
};

LasResult export_las(const RecordingContents& contents, const LasOptions& options);

// ASCII for LAS: Cyrillic transliterated, a few unit signs spelt out, any other non-ASCII
// character as '?'.
std::string transliterate(std::string_view utf8);
// A mnemonic: transliterated, upper case, only letters, digits and '_'.
std::string las_mnemonic(std::string_view identifier);

}  // namespace rtf
