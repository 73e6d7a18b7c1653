// Writes what a recording file holds as LAS 2.0 text (docs/las-export.md): one curve per
// parameter met anywhere in the file, in the order first met (a line without a parameter
// gives the null value), indexed by depth or by time. LAS 2.0 is ASCII: Russian mnemonics,
// units and texts are transliterated, and the Russian name stays readable in the
// description's transliteration.
//
// export_las_file streams: a first pass over the file gathers what the header needs (the
// parameter lists, the run header, the index span), a second pass formats the lines into a
// buffer that goes to the output a megabyte at a time. Memory stays bounded by the reader's
// chunk, that buffer and the parameter lists, whatever the file's size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"
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
  std::string text;  // export_las only: the whole LAS text
  // Requested identifiers the file does not hold (their curves are not written).
  std::vector<std::string> unknown_params;
  std::size_t lines = 0;  // data lines written
  // Lines left out because their index does not come after the line before them (the LAS
  // index must rise strictly), and the offset of the first in the recording.
  std::size_t dropped_lines = 0;
  std::uint64_t first_dropped_offset = 0;
  // export_las_file only: the damaged places of the file, in file order.
  std::vector<ReadProblem> problems;
};

// The LAS text of contents already read.
LasResult export_las(const RecordingContents& contents, const LasOptions& options);

// A recording as the export reads it, twice: each call hands the blocks to the visitor in
// file order, going no further than `max_bytes` into it, and tells how far it went. A file
// is scanned with scan_recording_file; another store (the office database) replays what it
// holds of one.
using RecordingScan = std::function<ScanTotals(RecordingVisitor& visitor, std::uint64_t max_bytes)>;

// Reads the recording and hands the LAS text to `out` in pieces of about kLasFlushBytes,
// in order. Throws what the scan throws (lib::io::StreamError when a file cannot be opened
// or read), and whatever `out` throws.
inline constexpr std::size_t kLasFlushBytes = std::size_t{1} << 20;
LasResult export_las_scan(const RecordingScan& scan, const LasOptions& options,
                          const std::function<void(std::string_view)>& out);
// The same for the recording file at `path`.
LasResult export_las_file(const std::string& path, lib::FileSystem& fs, const LasOptions& options,
                          const std::function<void(std::string_view)>& out);

// The same into `las_path` (lib/export_target.h): a regular file is replaced whole through
// a temporary file beside it, so a failed export leaves any earlier file as it was; a link is
// followed to its file; a FIFO, a device or "-" (the standard output) is written straight.
// Refuses (lib::io::StreamError, nothing written) a target that is the recording itself
// or any recording: named as one, or holding one. Throws lib::io::StreamError naming the file
// and the reason.
LasResult export_las_to_file(const std::string& path, const std::string& las_path,
                             lib::FileSystem& fs, const LasOptions& options);
// The same from another store's scan (the office database), which has no recording file
// to guard.
LasResult export_las_scan_to_file(const RecordingScan& scan, const std::string& las_path,
                                  lib::FileSystem& fs, const LasOptions& options);

// Writes the text `produce` hands to the writer it is given into `path` as export_las_to_file
// does (a regular file replaced whole once complete, a link followed, a FIFO, a device or "-"
// written straight). Throws lib::io::StreamError naming the file, and whatever `produce`
// throws; an earlier regular file is then left as it was.
void write_file_streamed(
    const std::string& path, lib::FileSystem& fs,
    const std::function<void(const std::function<void(std::string_view)>& write)>& produce);

// Says when a long job has crossed another step of `step_percent` per cent: the progress
// line of an export is written at those steps only, so a log gets a few lines, not one per
// chunk of work.
class ProgressSteps {
 public:
  ProgressSteps(std::size_t total, int step_percent);
  // The per cent reached, when `done` completes a step not told before; else nothing.
  std::optional<int> advance(std::size_t done);

 private:
  std::size_t total_;
  int step_;
  int told_ = 0;
};

// ASCII for LAS: Cyrillic transliterated, a few unit signs spelt out, any other non-ASCII
// character as '?'.
std::string transliterate(std::string_view utf8);
// A mnemonic: transliterated, upper case, only letters, digits and '_'.
std::string las_mnemonic(std::string_view identifier);

}  // namespace rtf
