// Where the travelling block, the bit and the bottom of the hole are, followed from the winch
// sensor's running pulse count and the hook load, one tick at a time.
//
// The winch sensor counts pulses as the drum turns; the depth calculator turns a count into
// metres of block travel (its coefficient may change with the block height, as the line winds
// on the drum in layers). With the string on the hook (hook load above the zero weight) the
// bit moves with the block: the block going down by a metre takes the bit a metre deeper. A
// bit that goes below the bottom drills, and the bottom follows it. With the string in the
// slips the block moves alone.
//
// Bad input never moves a depth: a pulse jump larger than the block's whole travel in one
// tick (a counter reset or a glitch), a travel that is not a number, an unknown hook load.
// Each is told once through the log callback when it starts, not on every tick it lasts.
// Not thread-safe: the station's tick owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace rig {

struct DepthTrackerSettings {
  double zero_weight = 10;   // t: the string hangs on the hook above this load
  int reverse = 1;           // -1 when the sensor counts down as the block goes up
  double coefficient = 150;  // pulses per metre given to the depth calculator
  double block_low = 0;      // m: the lowest block position
  double block_high = 36;    // m: the highest block position (the stand length)
};

// Depths the tracker keeps; the rig tracker writes them into the data storage.
struct Depths {
  double block = 0;   // block position, m above the rig floor
  double bit = 0;     // bit depth, m
  double bottom = 0;  // bottom-hole depth, m
  bool operator==(const Depths&) const = default;
};

class DepthTracker {
 public:
  // Metres of block travel (positive up) for `pulses` counted upwards from `height`.
  using TravelFor = std::function<double(std::int64_t pulses, double height)>;
  using Log = std::function<void(const std::string& message)>;

  DepthTracker(TravelFor travel_for, Log log);

  void set_settings(const DepthTrackerSettings& s) { settings_ = s; }
  const DepthTrackerSettings& settings() const { return settings_; }

  // One tick: the sensor's running count (nullopt when the tick brought none) and the hook
  // load (NaN when unknown: the last known on-hook state is kept).
  void tick(std::optional<std::int64_t> pulses, double hook_load);

  const Depths& depths() const { return depths_; }
  // Block travel of the last tick, m, positive up; 0 when nothing moved.
  double last_travel() const { return last_travel_; }
  bool on_hook() const { return on_hook_; }
  // The bottom moved down during the last tick.
  bool drilled() const { return drilled_; }

  // Operator corrections. A bottom above the bit lifts the bit with it; a bit below the
  // bottom is refused (false), since only drilling deepens the hole. Negative, NaN or
  // absurd values are refused too. Every correction is logged with the old value, every
  // refusal with its reason, which refusal() then gives for the operator's answer.
  bool set_bottom(double depth);
  bool set_bit(double depth);
  bool set_block(double position);
  const std::string& refusal() const { return refusal_; }
  // Takes depths someone else set (a plug-in, the host) as they are, keeping the block.
  void adopt(double bottom, double bit);
  // Restores depths saved before a restart; the next count only takes the baseline.
  void restore(const Depths& d);
  void forget_baseline() { baseline_.reset(); }

  static constexpr double kMaxDepth = 15000;  // m

 private:
  double clamp_block(double position) const;

  TravelFor travel_for_;
  Log log_;
  DepthTrackerSettings settings_;
  Depths depths_;
  std::optional<std::int64_t> baseline_;
  double last_travel_ = 0;
  bool on_hook_ = false;
  bool drilled_ = false;
  bool jump_reported_ = false;
  bool travel_reported_ = false;
  bool hook_reported_ = false;
  std::string refusal_;
  bool refuse(std::string reason);
};

}  // namespace rig
