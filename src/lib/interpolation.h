// A calibration curve y(x) through a table of points, read with one of four kinds of
// interpolation (see docs/interpolation.md for pictures in words and the choices made):
//
//   0  kLinear         straight segments between the points; outside them the first or
//                      the last segment is continued as a straight line.
//   1  kLinearClamped  straight segments; outside the points the end value holds
//                      (below the first x the first y, above the last x the last y).
//   2  kMonotoneCubic  piecewise cubic Hermite (PCHIP): smooth, passes through every
//                      point and never overshoots, so monotone data gives a monotone
//                      curve. Outside the points, as kLinear.
//   3  kAkima          modified Akima cubic: smooth, follows the data with little ringing
//                      but can overshoot slightly on monotone data. Outside, as kLinear.
//
// Every kind passes exactly through the points. Points may be set in any order; they are
// sorted by x, and of points with equal x the one set last counts. Too few points for a
// kind: none gives 0, one gives its y everywhere, and the cubic kinds need four, with
// fewer they read as kLinear. Any other kind number reads as kLinear. A cubic kind that
// cannot take the points (too few, refused by the cubic's construction, or giving no finite
// value) is read as kLinear and told to the fallback sink, once per kind and set of points.
//
// The sorted table and the cubic are built on the first read after the points change, so
// both reads and changes stay cheap. Because of that cache, const reads of one object from
// several threads at once need outside locking; copies do not share the cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lib {

class Interpolation {
 public:
  enum Kind : int {
    kLinear = 0,
    kLinearClamped = 1,
    kMonotoneCubic = 2,
    kAkima = 3,
  };

  Interpolation();
  ~Interpolation();
  Interpolation(const Interpolation&);
  Interpolation& operator=(const Interpolation&);
  Interpolation(Interpolation&&) noexcept;
  Interpolation& operator=(Interpolation&&) noexcept;

  // Table slots. Growing adds empty slots; shrinking drops the points beyond n. A slot
  // that has not been set is left out of the curve.
  void set_size(std::size_t n);
  std::size_t size() const { return slots_.size(); }
  // Fills slot i. False, and nothing changes, when i >= size() or x or y is not finite.
  bool set_point(std::size_t i, double x, double y);
  // Empties slot i; false when i >= size().
  bool clear_point(std::size_t i);
  void clear();

  // The points in use: sorted by x, one per x.
  std::vector<std::pair<double, double>> points() const;

  // Receives one message each time a cubic kind falls back to straight lines: the kind,
  // the points it was given, why it refused them and that the straight lines are used.
  // Told once per kind until the points change. The owner adds which curve it is.
  using FallbackSink = std::function<void(const std::string& message)>;
  void set_fallback_sink(FallbackSink sink) { fallback_sink_ = std::move(sink); }

  // y at x by the given kind. A NaN x gives NaN when there is at least one point.
  double get_value(double x, int kind) const;
  // get_value(x, kLinear).
  double get_line_value(double x) const;

 private:
  struct Slot {
    double x = 0;
    double y = 0;
    std::uint64_t stamp = 0;  // order of setting, to let the last of equal x win
    bool set = false;
  };
  struct Curve;

  Curve& curve() const;
  void changed();

  std::vector<Slot> slots_;
  std::uint64_t next_stamp_ = 1;
  mutable std::unique_ptr<Curve> curve_;  // built on demand, dropped on every change
  FallbackSink fallback_sink_;
};

}  // namespace lib
