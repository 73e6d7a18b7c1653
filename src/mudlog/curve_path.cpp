#include "mudlog/curve_path.h"

#include <algorithm>
#include <cmath>

namespace mudlog {
namespace {

// The value as a fraction of the scale, before it is wrapped or held at an edge.
std::optional<double> scale_fraction(const CurveSpec& c, double v) {
  if (!std::isfinite(v)) return std::nullopt;
  if (c.scale == ScaleKind::logarithmic) {
    if (v <= 0) return std::nullopt;
    return (std::log10(v) - std::log10(c.left)) / (std::log10(c.right) - std::log10(c.left));
  }
  return (v - c.left) / (c.right - c.left);
}

// A fraction of the scale as drawn: a wrapping curve comes round once past either edge,
// anything further out (or past an edge of a curve that does not wrap) is held at the edge.
Placed place_fraction(const CurveSpec& c, double u) {
  const double low = c.wrap ? -1.0 : 0.0, high = c.wrap ? 2.0 : 1.0;
  const bool held = u < low || u > high;
  u = std::clamp(u, low, high);
  if (u > 1) return {u - 1, 1, held};
  if (u < 0) return {u + 1, -1, held};
  return {u, 0, held};
}

}  // namespace

std::optional<Placed> place(const CurveSpec& curve, double value) {
  const auto u = scale_fraction(curve, value);
  if (!u) return std::nullopt;
  return place_fraction(curve, *u);
}

CurveLines curve_lines(const CurveSpec& curve, const Series& series, double from, double to,
                       double max_gap) {
  CurveLines out;
  const auto& d = series.depth;
  auto begin = std::lower_bound(d.begin(), d.end(), from);
  auto end = std::upper_bound(d.begin(), d.end(), to);
  std::size_t first = static_cast<std::size_t>(begin - d.begin());
  std::size_t last = static_cast<std::size_t>(end - d.begin());
  if (first > 0) --first;
  if (last < d.size()) ++last;
  Path current;
  bool have_last = false;  // the previous point could be drawn
  int last_wrap = 0;
  double last_u = 0;  // the previous point's fraction as drawn (held ones at their edge)
  double last_depth = 0;
  auto flush = [&] {
    if (current.size() >= 2) out.paths.push_back(std::move(current));
    current.clear();
  };
  // The stretch of held values under way, and how far out its peak is.
  std::optional<EdgeMark> mark;
  double mark_u = 0;
  auto end_mark = [&] {
    if (mark && mark->depth >= from && mark->depth <= to) out.marks.push_back(*mark);
    mark.reset();
  };
  for (std::size_t i = first; i < last; ++i) {
    const auto raw = scale_fraction(curve, series.value[i]);
    if (!raw) {
      flush();
      end_mark();
      have_last = false;
      continue;
    }
    const Placed p = place_fraction(curve, *raw);
    const double u = p.x + p.wrap;
    const bool joined = have_last && d[i] - last_depth <= max_gap;
    if (!joined) {
      flush();
      end_mark();
    } else if (p.wrap != last_wrap) {
      if (std::abs(p.wrap - last_wrap) == 1) {
        // Cut where the line crosses the edge between the two wrap counts.
        const double edge = static_cast<double>(std::max(p.wrap, last_wrap));
        const double f = (edge - last_u) / (u - last_u);
        const double at = last_depth + f * (d[i] - last_depth);
        const bool rising = p.wrap > last_wrap;
        current.push_back({at, rising ? 1.0 : 0.0});
        flush();
        current.push_back({at, rising ? 0.0 : 1.0});
      } else {
        flush();
      }
    }
    if (p.held) {
      const bool right = *raw > 1;
      if (mark && mark->right != right) end_mark();
      if (!mark || (right ? *raw > mark_u : *raw < mark_u)) {
        mark = EdgeMark{d[i], right, series.value[i]};
        mark_u = *raw;
      }
    } else {
      end_mark();
    }
    current.push_back({d[i], p.x});
    last_u = u;
    have_last = true;
    last_wrap = p.wrap;
    last_depth = d[i];
  }
  flush();
  end_mark();
  return out;
}

Series thin_series(const Series& series, double from, double to, std::size_t max_points) {
  const auto& d = series.depth;
  std::size_t first =
      static_cast<std::size_t>(std::lower_bound(d.begin(), d.end(), from) - d.begin());
  std::size_t last = static_cast<std::size_t>(std::upper_bound(d.begin(), d.end(), to) - d.begin());
  if (first > 0) --first;
  if (last < d.size()) ++last;
  Series out;
  if (last - first <= max_points || max_points < 2) {
    out.depth.assign(d.begin() + first, d.begin() + last);
    out.value.assign(series.value.begin() + first, series.value.begin() + last);
    return out;
  }
  const std::size_t buckets = max_points / 2;
  const double top = d[first];
  const double span = std::max(d[last - 1] - top, 1e-9);
  std::size_t i = first;
  for (std::size_t b = 0; b < buckets && i < last; ++b) {
    const double bottom = top + span * static_cast<double>(b + 1) / static_cast<double>(buckets);
    std::size_t lo = last, hi = last;
    const std::size_t start = i;
    for (; i < last && (d[i] <= bottom || b + 1 == buckets); ++i) {
      const float v = series.value[i];
      if (!std::isfinite(v)) continue;
      if (lo == last || v < series.value[lo]) lo = i;
      if (hi == last || v > series.value[hi]) hi = i;
    }
    if (lo == last) {
      // Nothing but gaps in the bucket: keep one gap, so the line still breaks there.
      if (i > start) {
        out.depth.push_back(d[start]);
        out.value.push_back(series.value[start]);
      }
      continue;
    }
    for (std::size_t k : {std::min(lo, hi), std::max(lo, hi)}) {
      if (!out.depth.empty() && out.depth.back() == d[k]) continue;
      out.depth.push_back(d[k]);
      out.value.push_back(series.value[k]);
    }
  }
  return out;
}

}  // namespace mudlog
