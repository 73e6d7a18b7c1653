#include "params/calibration_check.h"

#include <fmt/format.h>

#include <cmath>

namespace params {
namespace {

enum class Fault { kNone, kNotNumber, kOriginPoint, kSameX, kBackwards, kOverflow };

struct Found {
  Fault fault = Fault::kNone;
  std::size_t at = 0;  // the point, or the first point of the pair, from 0
};

Found find_fault(const CalibrPoints& points) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) return {Fault::kNotNumber, i};
  }
  if (points.size() == 1) {
    const UnitCalibrPoint& p = points.front();
    if (std::fabs(p.x) < kMinSegmentWidth) return {Fault::kOriginPoint, 0};
    if (!std::isfinite(p.y / p.x)) return {Fault::kOverflow, 0};
    return {};
  }
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const double dx = points[i + 1].x - points[i].x;
    const double dy = points[i + 1].y - points[i].y;
    if (std::fabs(dx) < kMinSegmentWidth) return {Fault::kSameX, i};
    if (dx < 0) return {Fault::kBackwards, i};
    if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dy / dx))
      return {Fault::kOverflow, i};
  }
  return {};
}

}  // namespace

bool calibration_usable(const CalibrPoints& points) {
  return find_fault(points).fault == Fault::kNone;
}

std::optional<std::string> calibration_fault(const CalibrPoints& points) {
  const Found f = find_fault(points);
  const std::size_t n = f.at + 1;  // as the operator counts
  switch (f.fault) {
    case Fault::kNone:
      return std::nullopt;
    case Fault::kNotNumber:
      return fmt::format("point {} ({}, {}) is not a finite number", n, points[f.at].x,
                         points[f.at].y);
    case Fault::kOriginPoint:
      return fmt::format("its one point has x {}: a single point needs an x away from 0",
                         points[f.at].x);
    case Fault::kSameX:
      return fmt::format("points {} and {} have the same x, {}", n, n + 1, points[f.at].x);
    case Fault::kBackwards:
      return fmt::format(
          "point {} (x {}) comes after point {} (x {}): x must rise from point to "
          "point",
          n + 1, points[f.at + 1].x, n, points[f.at].x);
    case Fault::kOverflow:
      return points.size() == 1
                 ? fmt::format("its one point ({}, {}) gives a slope beyond any number",
                               points[f.at].x, points[f.at].y)
                 : fmt::format("the slope between points {} and {} is beyond any number", n, n + 1);
  }
  return std::nullopt;
}

}  // namespace params
