// The console configuration block uploaded with configure_pult1: 32 bytes as the console's
// firmware lays them out (a word, seven floats, two bytes, no padding, little-endian).
// The station passes it through; the meaning of the fields belongs to the console.
#pragma once

#include <array>
#include <cstdint>

namespace hardware {

struct PultConfData {
  static constexpr std::size_t kSize = 32;

  std::uint16_t word = 0;
  std::array<float, 7> values{};
  std::array<std::uint8_t, 2> bytes{};

  // The packed block as it goes on the line.
  std::array<std::uint8_t, kSize> to_bytes() const;
  static PultConfData from_bytes(const std::array<std::uint8_t, kSize>& block);

  bool operator==(const PultConfData&) const = default;
};

}  // namespace hardware
