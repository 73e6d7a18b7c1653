// Keeps a simulated 2017 bus looking alive for an operator watching the station: every ADC
// word swings slowly around the value it had when the motion started, and the winch sensor
// of every module (its first channel) and the counter of every console follow a travelling
// block that goes down and up again. All movements are bounded, so a value set by hand
// stays recognisable.
#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "hardware/sim/bus2017_sim.h"

namespace hardware {

class Bus2017SimMotion {
 public:
  static constexpr int kAdcSwing = 20;  // counts either side of the start value
  static constexpr std::int64_t kAdcPeriodMs = 20'000;
  static constexpr int kBlockTravel = 2000;  // winch-sensor counts either side of the start
  static constexpr std::int64_t kBlockPeriodMs = 120'000;

  // Takes the devices now on the bus and their present values as the starting point.
  explicit Bus2017SimMotion(Bus2017Sim& sim);

  // Moves the values to where they are `elapsed_ms` after the start. A module of data
  // version 0 collects the winch movement since the last call in its increments (the next
  // reply sends them); other modules report the absolute count.
  void advance_to(std::int64_t elapsed_ms);

  // Winch-sensor counts relative to the start at a given time.
  static int block_position(std::int64_t elapsed_ms);

 private:
  struct ModuleStart {
    std::array<std::uint16_t, bus2017::kAdcWords> adc;
    std::int32_t dol;
  };
  struct ConsoleStart {
    std::array<std::uint16_t, old_block::kAdcChannels> adc;
    std::uint16_t counter;
  };

  Bus2017Sim& sim_;
  std::map<std::uint8_t, ModuleStart> modules_;
  std::map<std::uint8_t, ConsoleStart> consoles_;
  int last_position_ = 0;
};

}  // namespace hardware
