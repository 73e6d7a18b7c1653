// The 60-byte reply block of an older I/O module (one module, 24 ADC channels, a counter
// and four rate inputs) and the arithmetic that turns its words into readings. 16-bit words
// are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace hardware::old_block {

inline constexpr std::size_t kSize = 60;
inline constexpr int kAdcChannels = 24;
inline constexpr int kRateInputs = 4;

// Byte offsets.
inline constexpr std::size_t kAdcOffset = 0;  // 24 words, channels 0..23
inline constexpr std::size_t kStatusOffset = 48;
inline constexpr std::size_t kPacketOffset = 49;
inline constexpr std::size_t kCounterOffset = 50;
inline constexpr std::size_t kRate1Offset = 52;
inline constexpr std::size_t kRate2Offset = 54;
inline constexpr std::size_t kRate3Offset = 56;
inline constexpr std::size_t kRate0Offset = 58;

// ADC channels that also carry the module's own measurements.
inline constexpr int kPlus5VChannel = 20;
inline constexpr int kPlus12VChannel = 21;
inline constexpr int kTemperatureChannel = 22;
inline constexpr int kSupplyChannel = 23;

inline constexpr std::uint8_t kStatusMask = 0x7F;
inline constexpr std::uint32_t kLargestPacketNumber = 255;
inline constexpr double kReferenceVolts = 2.5;

// A rate word carries either the rate itself (bit 15 clear) or, with bit 15 set, a period
// in its low 15 bits; the rate is then 100 / period, 0 for a zero period.
inline constexpr std::uint16_t kPeriodFlag = 0x8000;
inline constexpr double kPeriodDividend = 100.0;

inline std::uint16_t word_at(std::span<const std::uint8_t, kSize> block, std::size_t offset) {
  return static_cast<std::uint16_t>(block[offset] | (block[offset + 1] << 8));
}

inline void put_word(std::span<std::uint8_t, kSize> block, std::size_t offset, std::uint16_t w) {
  block[offset] = static_cast<std::uint8_t>(w & 0xFF);
  block[offset + 1] = static_cast<std::uint8_t>(w >> 8);
}

float rate_of_word(std::uint16_t word);
// Module measurements from their ADC words, with `max_adc` the converter's full scale.
float plus5v_volts(std::uint16_t word, int max_adc);
float plus12v_volts(std::uint16_t word, int max_adc);
float supply_volts(std::uint16_t word, int max_adc);
// Degrees Celsius; 0 for a zero word (no sensor fitted).
float temperature_celsius(std::uint16_t word, int max_adc);

}  // namespace hardware::old_block
