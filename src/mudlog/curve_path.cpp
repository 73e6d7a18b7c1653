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

Placed wrapped(double u) {
  // Within [0, 1] a value is on the scale; (1, 2] is the first time round past the right
  // edge, [-1, 0) past the left one.
  const long wrap =
      u > 1 ? static_cast<long>(std::ceil(u)) - 1 : (u < 0 ? static_cast<long>(std::floor(u)) : 0);
  return {u - static_cast<double>(wrap), wrap};
}

}  // namespace

std::optional<Placed> place(const CurveSpec& curve, double value) {
  const auto u = scale_fraction(curve, value);
  if (!u) return std::nullopt;
  if (!curve.wrap) return Placed{std::clamp(*u, 0.0, 1.0), 0};
  // Far past the scale the wrap count would not fit; such a value is held at the edge.
  if (std::fabs(*u) > 1e6) return Placed{*u > 0 ? 1.0 : 0.0, 0};
  return wrapped(*u);
}

std::vector<Path> curve_paths(const CurveSpec& curve, const Series& series, double from, double to,
                              double max_gap) {
  std::vector<Path> paths;
  const auto& d = series.depth;
  auto begin = std::lower_bound(d.begin(), d.end(), from);
  auto end = std::upper_bound(d.begin(), d.end(), to);
  std::size_t first = static_cast<std::size_t>(begin - d.begin());
  std::size_t last = static_cast<std::size_t>(end - d.begin());
  if (first > 0) --first;
  if (last < d.size()) ++last;
  Path current;
  std::optional<double> last_u;
  std::optional<Placed> last_p;
  double last_depth = 0;
  auto flush = [&] {
    if (current.size() >= 2) paths.push_back(std::move(current));
    current.clear();
  };
  for (std::size_t i = first; i < last; ++i) {
    const auto u = scale_fraction(curve, series.value[i]);
    const auto p = place(curve, series.value[i]);
    if (!p) {
      flush();
      last_p.reset();
      continue;
    }
    const bool joined = last_p && d[i] - last_depth <= max_gap;
    if (!joined) {
      flush();
    } else if (p->wrap != last_p->wrap) {
      if (std::labs(p->wrap - last_p->wrap) == 1) {
        // Cut where the line crosses the edge between the two wrap counts.
        const double edge = static_cast<double>(std::max(p->wrap, last_p->wrap));
        const double f = (edge - *last_u) / (*u - *last_u);
        const double at = last_depth + f * (d[i] - last_depth);
        const bool rising = p->wrap > last_p->wrap;
        current.push_back({at, rising ? 1.0 : 0.0});
        flush();
        current.push_back({at, rising ? 0.0 : 1.0});
      } else {
        flush();
      }
    }
    current.push_back({d[i], p->x});
    last_u = u;
    last_p = p;
    last_depth = d[i];
  }
  flush();
  return paths;
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
