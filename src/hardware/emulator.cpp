#include "hardware/emulator.h"

#include <cmath>

namespace hardware {

bool Emulator::read(CommIncomData& data, lib::Clock& clock, const std::function<void(int)>& sleep,
                    std::mt19937& random) {
  if (has_last_) {
    while (clock.steady_ms() - last_ms_ < kPeriodMs) sleep(kPollMs);
  }
  last_ms_ = clock.steady_ms();
  has_last_ = true;

  USOData& record = data.module(0);
  record.adc.resize(kAdcChannels);
  for (auto& value : record.adc) value = static_cast<std::int32_t>(random() % kAdcSpan) + kAdcLow;

  // The counter's range swings between 2 and 10 over about three minutes of readings, so
  // rate calculations downstream see both slow and busy periods.
  const long k = std::lround(4.0 * std::sin(static_cast<double>(count_) / 30.0) + 4.0 + 2.0);
  if (record.counters.empty()) record.counters.resize(1);
  record.counters[0] =
      k > 0 ? static_cast<std::int32_t>(random() % static_cast<unsigned long>(k)) : 0;
  ++count_;

  record.freq.resize(kRates);
  for (auto& rate : record.freq) rate = static_cast<float>(random() & 1u);
  record.state = kUsoStateOk;
  return true;
}

}  // namespace hardware
