#include "pore/min_curvature.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace pore {

double dogleg_angle_stable(double i0, double a0, double i1, double a1) {
  const double si = std::sin((i1 - i0) / 2);
  const double sa = std::sin((a1 - a0) / 2);
  // sin^2 of half the dogleg; rounding may push it a hair outside 0..1.
  const double h = std::clamp(si * si + std::sin(i0) * std::sin(i1) * sa * sa, 0.0, 1.0);
  return 2 * std::atan2(std::sqrt(h), std::sqrt(1 - h));
}

double ratio_factor(double dogleg) {
  if (dogleg == 0) return 1;
  if (dogleg < kRatioFactorSeriesBelow) {
    const double d2 = dogleg * dogleg;
    return 1 + d2 / 12 + d2 * d2 / 120;
  }
  if (dogleg > std::numbers::pi - kReversalMargin) return 1;
  return 2 / dogleg * std::tan(dogleg / 2);
}

CourseDelta minimum_curvature_course(double length, double i0, double a0, double i1, double a1) {
  CourseDelta d;
  d.dogleg = dogleg_angle_stable(i0, a0, i1, a1);
  const double half = length / 2 * ratio_factor(d.dogleg);
  const double s0 = std::sin(i0), s1 = std::sin(i1);
  d.north = half * (s0 * std::cos(a0) + s1 * std::cos(a1));
  d.east = half * (s0 * std::sin(a0) + s1 * std::sin(a1));
  d.vertical = half * (std::cos(i0) + std::cos(i1));
  return d;
}

double dogleg_severity(double dogleg, double length_m, DoglegUnit unit) {
  if (!(length_m > 0)) return 0;
  const double per = unit == DoglegUnit::kPer100ft ? 30.48 : 30.0;
  return dogleg * (180 / std::numbers::pi) * per / length_m;
}

}  // namespace pore
