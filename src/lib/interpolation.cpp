#include "lib/interpolation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>

#include <boost/math/interpolators/makima.hpp>
#include <boost/math/interpolators/pchip.hpp>

namespace lib {

namespace {

using Pchip = boost::math::interpolators::pchip<std::vector<double>>;
using Makima = boost::math::interpolators::makima<std::vector<double>>;

constexpr std::size_t kCubicMinPoints = 4;

const char* kind_name(int kind) {
  return kind == Interpolation::kMonotoneCubic ? "monotone cubic (kind 2)" : "Akima cubic (kind 3)";
}

}  // namespace

struct Interpolation::Curve {
  std::vector<double> xs;  // strictly increasing
  std::vector<double> ys;
  std::optional<Pchip> pchip;
  std::optional<Makima> makima;
  bool pchip_failed = false;
  bool makima_failed = false;
  bool pchip_reported = false;
  bool makima_reported = false;
  const FallbackSink* sink = nullptr;

  // Tells the owner, once per kind, that the straight lines stand in for the cubic.
  void fell_back(int kind, const std::string& why) {
    bool& reported = kind == kMonotoneCubic ? pchip_reported : makima_reported;
    if (reported || sink == nullptr || !*sink) return;
    reported = true;
    std::string where = std::to_string(xs.size()) + " points";
    if (!xs.empty()) {
      where += " (x from " + number(xs.front()) + " to " + number(xs.back()) + ")";
    }
    (*sink)(std::string(kind_name(kind)) + " interpolation refused " + where + ": " + why +
            "; straight lines between the points are used instead");
  }

  static std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
  }

  // Straight line through points a and b, at x.
  double line(std::size_t a, std::size_t b, double x) const {
    const double dy = ys[b] - ys[a];
    // A flat segment stays flat even at an infinite x, where dy * x would be NaN.
    if (dy == 0) return ys[a];
    return ys[a] + dy * ((x - xs[a]) / (xs[b] - xs[a]));
  }

  double linear(double x, bool clamped) const {
    const std::size_t n = xs.size();
    if (x <= xs.front()) return clamped ? ys.front() : line(0, 1, x);
    // At the last x itself the stored y, not the end of a segment with its rounding.
    if (x == xs.back()) return ys.back();
    if (x > xs.back()) return clamped ? ys.back() : line(n - 2, n - 1, x);
    const auto it = std::upper_bound(xs.begin(), xs.end(), x);
    const std::size_t hi = static_cast<std::size_t>(it - xs.begin());
    return line(hi - 1, hi, x);
  }

  // `within_segment`: the curve is known to stay between the y of the two points around x
  // (true of the monotone cubic), so the result is held there against rounding.
  template <class Spline>
  double cubic(int kind, std::optional<Spline>& spline, bool& failed, double x,
               bool within_segment) {
    if (x <= xs.front() || x >= xs.back()) return linear(x, false);
    // The stored y at a point itself, free of the rounding of the cubic's arithmetic.
    const auto at = std::lower_bound(xs.begin(), xs.end(), x);
    const std::size_t hi = static_cast<std::size_t>(at - xs.begin());
    if (*at == x) return ys[hi];
    if (!spline && !failed) {
      try {
        spline.emplace(std::vector<double>(xs), std::vector<double>(ys));
      } catch (const std::exception& e) {
        // Boost refuses tables it considers degenerate; the straight lines still read.
        failed = true;
        fell_back(kind, e.what());
      }
    }
    if (!spline) return linear(x, false);
    double y = 0;
    try {
      y = (*spline)(x);
    } catch (const std::exception& e) {
      fell_back(kind, std::string("reading at x = ") + number(x) + " failed: " + e.what());
      return linear(x, false);
    }
    if (!std::isfinite(y)) {
      fell_back(kind, "it gives no finite value at x = " + number(x));
      return linear(x, false);
    }
    if (within_segment)
      y = std::clamp(y, std::min(ys[hi - 1], ys[hi]), std::max(ys[hi - 1], ys[hi]));
    return y;
  }
};

Interpolation::Interpolation() = default;
Interpolation::~Interpolation() = default;
Interpolation::Interpolation(const Interpolation& other)
    : slots_(other.slots_), next_stamp_(other.next_stamp_), fallback_sink_(other.fallback_sink_) {}
Interpolation& Interpolation::operator=(const Interpolation& other) {
  if (this != &other) {
    slots_ = other.slots_;
    next_stamp_ = other.next_stamp_;
    fallback_sink_ = other.fallback_sink_;
    curve_.reset();
  }
  return *this;
}
Interpolation::Interpolation(Interpolation&&) noexcept = default;
Interpolation& Interpolation::operator=(Interpolation&&) noexcept = default;

void Interpolation::changed() {
  curve_.reset();
}

void Interpolation::set_size(std::size_t n) {
  slots_.resize(n);
  changed();
}

bool Interpolation::set_point(std::size_t i, double x, double y) {
  if (i >= slots_.size() || !std::isfinite(x) || !std::isfinite(y)) return false;
  slots_[i] = Slot{x, y, next_stamp_++, true};
  changed();
  return true;
}

bool Interpolation::clear_point(std::size_t i) {
  if (i >= slots_.size()) return false;
  slots_[i] = Slot{};
  changed();
  return true;
}

void Interpolation::clear() {
  slots_.clear();
  changed();
}

Interpolation::Curve& Interpolation::curve() const {
  if (curve_) return *curve_;
  std::vector<const Slot*> used;
  used.reserve(slots_.size());
  for (const Slot& s : slots_) {
    if (s.set) used.push_back(&s);
  }
  std::sort(used.begin(), used.end(), [](const Slot* a, const Slot* b) {
    return a->x != b->x ? a->x < b->x : a->stamp < b->stamp;
  });
  auto c = std::make_unique<Curve>();
  for (const Slot* s : used) {
    if (!c->xs.empty() && c->xs.back() == s->x) {
      c->ys.back() = s->y;  // sorted by stamp within equal x: the later one wins
    } else {
      c->xs.push_back(s->x);
      c->ys.push_back(s->y);
    }
  }
  curve_ = std::move(c);
  return *curve_;
}

std::vector<std::pair<double, double>> Interpolation::points() const {
  const Curve& c = curve();
  std::vector<std::pair<double, double>> out;
  out.reserve(c.xs.size());
  for (std::size_t i = 0; i < c.xs.size(); ++i) out.emplace_back(c.xs[i], c.ys[i]);
  return out;
}

double Interpolation::get_value(double x, int kind) const {
  Curve& c = curve();
  const std::size_t n = c.xs.size();
  if (n == 0) return 0;
  if (std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
  if (n == 1) return c.ys.front();
  switch (kind) {
    case kLinearClamped:
      return c.linear(x, true);
    case kMonotoneCubic:
    case kAkima:
      c.sink = &fallback_sink_;
      if (n < kCubicMinPoints) {
        c.fell_back(kind, "a cubic needs at least " + std::to_string(kCubicMinPoints));
        return c.linear(x, false);
      }
      if (kind == kMonotoneCubic) return c.cubic(kind, c.pchip, c.pchip_failed, x, true);
      return c.cubic(kind, c.makima, c.makima_failed, x, false);
    default:
      return c.linear(x, false);
  }
}

double Interpolation::get_line_value(double x) const {
  return get_value(x, kLinear);
}

}  // namespace lib
