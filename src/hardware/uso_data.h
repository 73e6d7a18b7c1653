// One I/O module's part of a field-bus reading: raw ADC values, rates, counters, winch
// sensor accumulators, status and the derived module values (supply rails, temperature).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace hardware {

// A winch-sensor accumulator: the running count and whether it has been initialised.
struct DolAccumulator {
  std::int32_t value = 0;
  bool initialised = false;
  bool operator==(const DolAccumulator&) const = default;
};

// Indices into USOData::extra.
inline constexpr int kExtraPlus5V = 0;
inline constexpr int kExtraPlus12V = 1;
inline constexpr int kExtraSupply = 2;
inline constexpr int kExtraTemperature = 3;
inline constexpr int kExtraCount = 32;

// Record states.
inline constexpr std::int32_t kUsoStateLost = 0;     // restarted, or packets were lost
inline constexpr std::int32_t kUsoStateOk = 1;       // as made
inline constexpr std::int32_t kUsoStateConsole = 2;  // a console block was accepted

struct USOData {
  std::vector<std::int32_t> adc = std::vector<std::int32_t>(8, 0);
  std::vector<float> freq = std::vector<float>(1, 0.0f);
  std::vector<std::int32_t> counters = std::vector<std::int32_t>(1, 0);
  std::vector<DolAccumulator> dol = std::vector<DolAccumulator>(1);
  std::uint16_t status = 0;
  std::uint16_t flags = 0;
  std::uint32_t packet_number = 0;
  std::array<float, kExtraCount> extra{};
  std::int32_t state = kUsoStateOk;

  bool operator==(const USOData&) const = default;
};

}  // namespace hardware
