#include "hardware/bus2017/pult_indicator.h"

#include <cmath>

namespace hardware {

std::int32_t PultIndicator::get_dac_value(int channel, double value, double full_scale) const {
  if (channel < 0 || channel >= kChannels) return 0;
  const std::int32_t fixed = fixed_values[static_cast<std::size_t>(channel)];
  if (fixed != kNoFixedValue) return fixed;
  if (!(full_scale > 0.0) || std::isnan(value)) return 0;
  const double scaled = std::round(value / full_scale * kDacMax);
  if (scaled <= 0.0) return 0;
  if (scaled >= kDacMax) return kDacMax;
  return static_cast<std::int32_t>(scaled);
}

}  // namespace hardware
