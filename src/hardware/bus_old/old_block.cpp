#include "hardware/bus_old/old_block.h"

namespace hardware::old_block {

namespace {
// Divider ratios of the rail inputs and the temperature sensor's transfer line.
constexpr double kPlus5VScale = 4.012;
constexpr double kPlus12VScale = 7.024;
constexpr double kSupplyScale = 2.0;
constexpr double kTemperatureZeroVolts = 1.009621489;
constexpr double kTemperatureDegreesPerVolt = 271.0;

double volts(std::uint16_t word, int max_adc) {
  return max_adc > 0 ? kReferenceVolts * word / max_adc : 0.0;
}
}  // namespace

float rate_of_word(std::uint16_t word) {
  if (!(word & kPeriodFlag)) return static_cast<float>(word);
  const int period = word & ~kPeriodFlag & 0xFFFF;
  return period == 0 ? 0.0f : static_cast<float>(kPeriodDividend / period);
}

float plus5v_volts(std::uint16_t word, int max_adc) {
  return static_cast<float>(kPlus5VScale * volts(word, max_adc));
}

float plus12v_volts(std::uint16_t word, int max_adc) {
  return static_cast<float>(kPlus12VScale * volts(word, max_adc));
}

float supply_volts(std::uint16_t word, int max_adc) {
  return static_cast<float>(kSupplyScale * volts(word, max_adc));
}

float temperature_celsius(std::uint16_t word, int max_adc) {
  if (word == 0) return 0.0f;
  return static_cast<float>((volts(word, max_adc) - kTemperatureZeroVolts) *
                            kTemperatureDegreesPerVolt);
}

}  // namespace hardware::old_block
