// One calibration point of a parameter row: the raw input x and the engineering value y
// it stands for.
#pragma once

#include <vector>

namespace params {

struct UnitCalibrPoint {
  double x = 0;
  double y = 0;

  // Points are ordered by input only: that is the order the conversion walks them in.
  bool operator<(const UnitCalibrPoint& other) const { return x < other.x; }
  bool operator==(const UnitCalibrPoint&) const = default;
};

using CalibrPoints = std::vector<UnitCalibrPoint>;

}  // namespace params
