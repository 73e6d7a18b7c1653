// What a mud log draws of one bit run, gathered from its recordings and the journals:
// the depth file's lines (depth, time, operation), the curves the layout names from the
// depth file or the lag file, the drill time computed from the depth lines' times, and the
// journals' texts placed at the depth the hole had when they were written.
//
// The recordings are read through the storage reader (storage/real_time_reader.h), the
// journals through their own readers, all through the lib::FileSystem seam. Nothing here
// throws on bad input: a missing lag file, an identifier no recording holds, a curve with
// no values in the range, a damaged stretch of a file each give one line in `notes` and
// the rest of the log is drawn.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mudlog/layout.h"
#include "storage/real_time_records.h"

namespace lib {
class FileSystem;
}

namespace mudlog {

// Points of one curve in ascending depth; NaN where a line had no value.
struct Series {
  std::vector<double> depth;
  std::vector<float> value;
};

// What the recording says of a curve's parameter, for the track heads.
struct CurveInfo {
  std::string name;  // the short name, else the identifier
  std::string unit;
  bool recorded = false;    // the file holds the parameter
  bool has_values = false;  // finite values within the range read
};

struct LogText {
  double depth = 0;
  std::uint32_t time = 0;  // local seconds
  std::string text;
  bool mud = false;  // a mud log record; else a remark
};

// A stretch of depth lines made during one operation.
struct OperationSpan {
  double top = 0;
  double bottom = 0;
  int code = 0;
};

struct RunFiles {
  std::string depth_file;    // NNNN.realdep
  std::string lag_file;      // empty: NNNN.reallag beside the depth file
  std::string remarks_file;  // empty: no remarks
  std::string mud_log_file;  // empty: no mud log
};

// The lag file beside a depth file: "0001.realdep" → "0001.reallag".
std::string lag_file_beside(const std::string& depth_file);

struct DepthRange {
  double from = 0;
  double to = 0;
};

struct RunData {
  RunFiles files;
  bool lag_found = false;
  // The run header and trailer (run, well, bit, start and end ...), first value of a key wins
  // except the trailer's.
  rtf::KeyValueList header;
  // Every depth line of the range read, ascending in depth.
  std::vector<double> depths;
  std::vector<double> times;  // seconds, with hundredths
  std::vector<int> operations;
  // The whole run's depth span (whatever range was read); NaN when it has no line.
  double first_depth = 0;
  double last_depth = 0;
  // The time of the run's newest depth line, local seconds; NaN when it has none.
  double last_time = 0;
  // The usual distance between two depth lines (the run's recording step).
  double step = 1;
  // Curve points by (source, identifier as the layout writes it).
  std::map<std::pair<DepthSource, std::string>, Series> series;
  std::map<std::pair<DepthSource, std::string>, CurveInfo> info;
  std::vector<LogText> texts;  // ascending in depth
  std::vector<OperationSpan> operation_spans;
  // One line per thing the log lacks or left out, for the operator.
  std::vector<std::string> notes;
  bool damaged = false;  // a recording had damaged blocks (named in notes)

  const Series* find(DepthSource source, const std::string& identifier) const;
  const CurveInfo* curve_info(DepthSource source, const std::string& identifier) const;
  // A header value, "" when the header lacks it.
  std::string header_value(const std::string& key) const;
};

// Where a curve's points come from: the track's depth, but a computed curve always from
// the depth file.
DepthSource curve_source(const TrackSpec& track, const CurveSpec& curve);

// Reads what the layout draws of the run. With `range` only the lines within it (and a
// few metres around, so lines reach the edges) are kept; without it the whole run. Throws
// lib::io::StreamError only when the depth file itself cannot be opened or read.
RunData load_run(const RunFiles& files, const LogLayout& layout, lib::FileSystem& fs,
                 std::optional<DepthRange> range = std::nullopt);

// The depth file's extent and header without keeping its lines, for lists of runs.
struct RunSummary {
  double first_depth = 0;  // NaN when the file has no line
  double last_depth = 0;
  std::size_t lines = 0;
  rtf::KeyValueList header;
};
RunSummary summarize_run(const std::string& depth_file, lib::FileSystem& fs);

// The depth-file bit runs in a recording folder, by run number: "0007.realdep" → 7.
std::vector<std::pair<int, std::string>> list_runs(const std::string& folder, lib::FileSystem& fs);

// Local seconds as "dd.mm.yyyy hh:mm:ss".
std::string seconds_text(double seconds);

}  // namespace mudlog
