// The state of the built-in module emulator: it lets the whole station run without
// hardware. It delivers at most one reading per second, with random ADC values, random
// rates and a counter whose range follows a slow sine of the reading count.
#pragma once

#include <cstdint>
#include <functional>
#include <random>

#include "hardware/comm_incom_data.h"
#include "lib/date_time.h"

namespace hardware {

class Emulator {
 public:
  static constexpr int kPeriodMs = 1000;
  static constexpr int kPollMs = 10;
  static constexpr int kAdcChannels = 32;
  static constexpr int kRates = 8;
  static constexpr std::int32_t kAdcLow = 1024;
  static constexpr std::int32_t kAdcSpan = 3072;  // values 1024..4095

  // Waits (through `sleep`) until a second has passed since the previous reading, then
  // fills the record of address 0. Never fails.
  bool read(CommIncomData& data, lib::Clock& clock, const std::function<void(int)>& sleep,
            std::mt19937& random);
  std::uint64_t readings() const { return count_; }

 private:
  bool has_last_ = false;
  std::int64_t last_ms_ = 0;
  std::uint64_t count_ = 0;
};

}  // namespace hardware
