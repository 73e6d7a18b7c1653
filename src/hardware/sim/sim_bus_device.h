// The device end of a simulated field bus: takes the bytes the station wrote and gives back
// what the devices answer. The simulators of both bus generations implement it, so one
// server runs either behind a pseudo-terminal and one in-memory line serves either in tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace hardware {

// The ADC word a simulated input starts with unless told otherwise: inside the range the
// station's starter parameter table is calibrated for (1024..4095), so a simulator run
// against a new station shows plausible values, not a negative hook load.
inline constexpr std::uint16_t kSimStartAdcWord = 2048;

template <std::size_t N>
constexpr std::array<std::uint16_t, N> sim_start_adc_words() {
  std::array<std::uint16_t, N> words{};
  words.fill(kSimStartAdcWord);
  return words;
}

class SimBusDevice {
 public:
  virtual ~SimBusDevice() = default;
  // Bytes may arrive in any chunks; a device keeps a partial request until it completes.
  virtual std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace hardware
