// Where a curve's values fall across its track, and the lines that join them: the one model
// both the PDF and the web view draw from.
//
// A value is placed at a fraction of the track's width (0 the left edge, 1 the right) on a
// linear or logarithmic scale between the curve's left and right values. A curve that wraps
// around comes round once from the other edge for a value up to one more scale width past
// an edge (the wrap count says which way). A value further out than that, or past an edge
// of a curve that does not wrap, is held at the edge and marked there with its value: a
// drill time over a connection or a pause then reaches the edge and shows what it was,
// instead of sweeping across the track again and again or leaving the log. A line between
// two points of different wrap counts is cut where it crosses the edge and goes on from the
// opposite one. Points further apart in depth than the join limit, and values that are
// missing (or not above 0 on a log scale), break the line.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "mudlog/layout.h"
#include "mudlog/run_data.h"

namespace mudlog {

struct Placed {
  double x = 0;       // 0..1 across the track
  int wrap = 0;       // 0 within the limits; +1 come round past the right edge, -1 the left
  bool held = false;  // further out than the scale reaches: drawn at the edge
};

// nullopt when the value cannot be drawn (NaN, or not above 0 on a log scale).
std::optional<Placed> place(const CurveSpec& curve, double value);

// One unbroken line: depth and x pairs, in ascending depth.
struct PathPoint {
  double depth = 0;
  double x = 0;
};
using Path = std::vector<PathPoint>;

// Where a stretch of values held at an edge peaks: one mark a stretch, at the depth of its
// value furthest out.
struct EdgeMark {
  double depth = 0;
  bool right = true;  // at the right edge; else the left
  double value = 0;
};

struct CurveLines {
  std::vector<Path> paths;
  std::vector<EdgeMark> marks;  // within from..to, ascending in depth
};

// The lines of a curve between `from` and `to` (one point beyond each end is taken, so a
// line runs on to the range's edge). `max_gap`: points further apart are not joined.
CurveLines curve_lines(const CurveSpec& curve, const Series& series, double from, double to,
                       double max_gap);

// At most `max_points` points of a series between `from` and `to`, for a window sent over
// the network: when there are more, each of max_points / 2 equal depth buckets keeps its
// lowest and highest value, in depth order, so peaks survive.
Series thin_series(const Series& series, double from, double to, std::size_t max_points);

}  // namespace mudlog
