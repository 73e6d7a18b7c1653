// The scaling of a console's indicator channels: a value shown on a channel goes out as a
// DAC value 0..255 of the channel's full scale, unless the channel has a fixed DAC value
// (a lamp that is always on, a needle parked at a mark).
#pragma once

#include <array>
#include <cstdint>

namespace hardware {

struct PultIndicator {
  static constexpr int kChannels = 8;
  static constexpr std::int32_t kNoFixedValue = -1;
  static constexpr std::int32_t kDacMax = 255;

  std::array<std::int32_t, kChannels> fixed_values;

  PultIndicator() { fixed_values.fill(kNoFixedValue); }

  // 0 for a channel outside 0..7; the fixed value when the channel has one; otherwise
  // value / full_scale * 255 rounded and clamped to 0..255 (0 for a full scale that is not
  // positive or a value that is not a number).
  std::int32_t get_dac_value(int channel, double value, double full_scale) const;
};

}  // namespace hardware
