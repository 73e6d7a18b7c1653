#include "pore/wellbore_point.h"

#include <cmath>

namespace pore {

std::optional<std::string> WellborePoint::check() const {
  if (!std::isfinite(depth) || depth < 0 || depth > kMaxDepth)
    return "measured depth outside 0..20000 m or not a number";
  if (!std::isfinite(zenit) || zenit < 0 || zenit > 180)
    return "inclination outside 0..180 degrees or not a number";
  if (!std::isfinite(azimut) || azimut < 0 || azimut > 360)
    return "azimuth outside 0..360 degrees or not a number";
  return std::nullopt;
}

}  // namespace pore
