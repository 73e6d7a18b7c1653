// The target data of a wellbore: two target circles, each lying in a horizontal plane at a
// vertical depth, and the reference altitude absolute levels are measured from.
#pragma once

#include <array>

namespace pore {

struct TargetCircle {
  double depth = 0;     // vertical depth of the circle's plane, m
  double radius = 0;    // m
  double distance = 0;  // horizontal distance of the centre from the wellhead, m
  double azimut = 0;    // direction of the centre, degrees
  bool operator==(const TargetCircle&) const = default;
};

struct WellboreKrug {
  std::array<TargetCircle, 2> circles{};
  double altitude = 0;  // reference altitude, m
  bool operator==(const WellboreKrug&) const = default;
};

}  // namespace pore
