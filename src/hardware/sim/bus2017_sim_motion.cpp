#include "hardware/sim/bus2017_sim_motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hardware {

namespace {

// Channels and devices swing out of step, so the screen does not move in lockstep.
std::uint16_t swung(std::uint16_t start, std::int64_t elapsed_ms, std::size_t channel,
                    std::uint8_t address) {
  const double phase = 0.4 * static_cast<double>(channel) + 0.7 * address;
  const double angle = 2 * std::numbers::pi * static_cast<double>(elapsed_ms) /
                           static_cast<double>(Bus2017SimMotion::kAdcPeriodMs) +
                       phase;
  const long value = start + std::lround(Bus2017SimMotion::kAdcSwing * std::sin(angle));
  return static_cast<std::uint16_t>(std::clamp(value, 0L, 0xFFFFL));
}

}  // namespace

Bus2017SimMotion::Bus2017SimMotion(Bus2017Sim& sim) : sim_(sim) {
  for (std::uint8_t address : sim.addresses()) {
    if (const auto* m = sim.module(address)) modules_[address] = {m->adc, m->dol[0]};
    if (const auto* c = sim.console(address)) consoles_[address] = {c->adc, c->counter};
  }
}

int Bus2017SimMotion::block_position(std::int64_t elapsed_ms) {
  const double angle =
      2 * std::numbers::pi * static_cast<double>(elapsed_ms) / static_cast<double>(kBlockPeriodMs);
  return static_cast<int>(std::lround(kBlockTravel * std::sin(angle)));
}

void Bus2017SimMotion::advance_to(std::int64_t elapsed_ms) {
  const int position = block_position(elapsed_ms);
  const int moved = position - last_position_;
  last_position_ = position;
  for (const auto& [address, start] : modules_) {
    Bus2017SimModule* m = sim_.module(address);
    if (!m) continue;  // taken off the bus meanwhile
    for (std::size_t ch = 0; ch < m->adc.size(); ++ch) {
      m->adc[ch] = swung(start.adc[ch], elapsed_ms, ch, address);
    }
    if (m->data_version == bus2017::kDataVersion0) {
      m->dol[0] += moved;
    } else {
      m->dol[0] = start.dol + position;
    }
  }
  for (const auto& [address, start] : consoles_) {
    Bus2017SimConsole* c = sim_.console(address);
    if (!c) continue;
    for (std::size_t ch = 0; ch < c->adc.size(); ++ch) {
      c->adc[ch] = swung(start.adc[ch], elapsed_ms, ch, address);
    }
    c->counter = static_cast<std::uint16_t>(start.counter + position);
  }
}

}  // namespace hardware
