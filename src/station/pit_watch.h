// The pit gain or loss: how much the active mud volume changed since the start of the last
// connection or trip (or since the station started, before the first one). A rise while
// pumping is the first sign of a kick, a fall of losses into the formation; during a trip it
// is checked against the steel pulled or run.
//
// Not thread-safe: the station's tick owns it.
#pragma once

#include <cmath>
#include <cstdint>

namespace station {

class PitWatch {
 public:
  // Operation codes whose start resets the reference volume.
  static constexpr std::int32_t kConnection = 8;
  static constexpr std::int32_t kTrippingIn = 14;
  static constexpr std::int32_t kTrippingOut = 15;

  // Once per tick with the effective operation and the active volume (m³). An active volume
  // that is not a number is skipped: the reference and the gain stay as they were.
  void update(std::int32_t operation, double active_volume) {
    if (!std::isfinite(active_volume)) return;
    const bool starts =
        (operation == kConnection || operation == kTrippingIn || operation == kTrippingOut) &&
        operation != last_operation_;
    if (!started_ || starts) base_ = active_volume;
    started_ = true;
    last_operation_ = operation;
    gain_ = active_volume - base_;
  }

  // m³, positive for a gain, negative for a loss; 0 before the first tick.
  double gain() const { return gain_; }
  // The active volume the gain is counted from.
  double base() const { return base_; }
  bool started() const { return started_; }

 private:
  bool started_ = false;
  std::int32_t last_operation_ = -1;
  double base_ = 0;
  double gain_ = 0;
};

}  // namespace station
