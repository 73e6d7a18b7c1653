// The layout of a mud log: its tracks from left to right, each with its curves and scales,
// read from the layout file of the station home (layout_format.h, docs/log-layout.md).
//
// The file is edited by hand, so the reader takes what it can: a line it cannot use is
// left out with a message naming the file, the line and what was wrong (a bad curve drops
// that curve, a bad track kind that track), and the rest of the layout is drawn. Nothing
// here touches a recording: whether a curve's parameter was recorded is told when the log
// is drawn.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lib {
class FileSystem;
}

namespace mudlog {

enum class TrackKind { depth, curves, operations, text };
enum class LineStyle { solid, dashed, dotted };
enum class ScaleKind { linear, logarithmic };
// Which recording a curve's points come from, and so which depth they are plotted at: the
// depth file (the depth drilled) or the lag file (the depth the cuttings came from).
enum class DepthSource { depth, lag };

struct CurveSpec {
  std::string identifier;    // a recorded parameter, or @drill_time / @rop
  std::uint32_t colour = 0;  // 0xRRGGBB
  LineStyle style = LineStyle::solid;
  double line_width_mm = 0.3;
  ScaleKind scale = ScaleKind::linear;
  double left = 0;  // the value at the track's left edge
  double right = 100;
  bool wrap = false;  // a value past an edge comes round again from the other edge
  int line = 0;       // where it stands in the file, for messages
};

struct TrackSpec {
  TrackKind kind = TrackKind::curves;
  std::string title;
  double width_mm = 30;
  DepthSource against = DepthSource::depth;
  int grid = 10;  // vertical grid divisions of a curves track
  std::vector<CurveSpec> curves;
  bool remarks = true;  // text track: the remarks journal
  bool mud_log = true;  // text track: the mud log journal
  int line = 0;
};

struct LogLayout {
  std::string title = "Mud log";
  int scale = 500;  // 1:scale
  double page_width_mm = 210;
  double page_height_mm = 297;
  std::vector<TrackSpec> tracks;
  std::string file;  // where it was read from, for messages; empty for the built-in one
};

struct LayoutRead {
  LogLayout layout;
  // One line per thing left out: "<file>, line N: what; what was done".
  std::vector<std::string> problems;
};

// Parses a layout. Never throws on any content.
LayoutRead parse_layout(std::string_view text, const std::string& file_name);

// The layout a new station starts with: depth, drill time, operations, gas against the lag
// depth, the drilling parameters, and the journals' texts.
std::string starter_layout_text();

// Reads the layout file `path`. A missing file gives the starter layout with a note; a file
// that cannot be read or is too large gives the starter layout with the reason.
LayoutRead load_layout(const std::string& path, lib::FileSystem& fs);

// Writes the starter layout to `path` unless something is there; true when it wrote it.
// Throws std::runtime_error naming the file and the reason when it cannot be written.
bool ensure_starter_layout(const std::string& path, lib::FileSystem& fs);

// The words of the file for each value, for messages and for the web view.
std::string_view kind_word(TrackKind kind);
std::string_view style_word(LineStyle style);
std::string_view scale_word(ScaleKind scale);

}  // namespace mudlog
