#include "rig/depth_tracker.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace rig {

DepthTracker::DepthTracker(TravelFor travel_for, Log log)
    : travel_for_(std::move(travel_for)), log_(std::move(log)) {}

double DepthTracker::clamp_block(double position) const {
  const double low = std::min(settings_.block_low, settings_.block_high);
  const double high = std::max(settings_.block_low, settings_.block_high);
  return std::clamp(position, low, high);
}

void DepthTracker::tick(std::optional<std::int64_t> pulses, double hook_load) {
  drilled_ = false;
  last_travel_ = 0;
  if (std::isfinite(hook_load)) {
    on_hook_ = hook_load > settings_.zero_weight;
    hook_reported_ = false;
  } else if (!hook_reported_) {
    hook_reported_ = true;
    log_(
        fmt::format("depth tracking: the hook load is not a number; the string is taken as {} "
                    "until a number comes back",
                    on_hook_ ? "on the hook" : "in the slips"));
  }
  if (!pulses) return;
  if (!baseline_) {
    baseline_ = *pulses;
    return;
  }
  const std::int64_t delta = *pulses - *baseline_;
  baseline_ = *pulses;
  if (delta == 0) return;

  const double travel = travel_for_(delta * (settings_.reverse < 0 ? -1 : 1), depths_.block);
  if (!std::isfinite(travel)) {
    if (!travel_reported_) {
      travel_reported_ = true;
      log_(
          fmt::format("depth tracking: {} winch-sensor pulses give no block travel (check the "
                      "sensor coefficient and the depth table); the depths are kept",
                      delta));
    }
    return;
  }
  travel_reported_ = false;
  // More than the block's whole travel in one tick is no movement of the block: the sensor's
  // counter was reset or glitched. The count after it is the new baseline.
  const double span = std::abs(settings_.block_high - settings_.block_low);
  if (std::abs(travel) > span + 0.5) {
    if (!jump_reported_) {
      jump_reported_ = true;
      log_(
          fmt::format("depth tracking: the winch sensor jumped by {} pulses ({:.2f} m) in one "
                      "tick, more than the block's whole travel of {:.2f} m; the jump is ignored "
                      "and the depths are kept",
                      delta, travel, span));
    }
    return;
  }
  jump_reported_ = false;
  const double block = clamp_block(depths_.block + travel);
  const double moved = block - depths_.block;
  depths_.block = block;
  last_travel_ = moved;
  if (!on_hook_ || moved == 0) return;
  depths_.bit = std::clamp(depths_.bit - moved, 0.0, kMaxDepth);
  if (depths_.bit > depths_.bottom) {
    depths_.bottom = depths_.bit;
    drilled_ = true;
  }
}

namespace {
bool sound_depth(double d) {
  return std::isfinite(d) && d >= 0 && d <= DepthTracker::kMaxDepth;
}
}  // namespace

bool DepthTracker::refuse(std::string reason) {
  log_(reason);
  refusal_ = std::move(reason);
  return false;
}

bool DepthTracker::set_bottom(double depth) {
  if (!sound_depth(depth)) {
    return refuse(
        fmt::format("depth correction refused: a bottom-hole depth of {} m is not a depth "
                    "(0 to {} m)",
                    depth, kMaxDepth));
  }
  log_(fmt::format("depth correction: bottom-hole depth {:.2f} m -> {:.2f} m", depths_.bottom,
                   depth));
  depths_.bottom = depth;
  if (depths_.bit > depth) depths_.bit = depth;
  return true;
}

bool DepthTracker::set_bit(double depth) {
  if (!sound_depth(depth) || depth > depths_.bottom) {
    return refuse(
        fmt::format("depth correction refused: a bit depth of {} m is not between 0 and the "
                    "bottom at {:.2f} m; set the bottom first",
                    depth, depths_.bottom));
  }
  log_(fmt::format("depth correction: bit depth {:.2f} m -> {:.2f} m", depths_.bit, depth));
  depths_.bit = depth;
  return true;
}

bool DepthTracker::set_block(double position) {
  if (!std::isfinite(position) || clamp_block(position) != position) {
    return refuse(
        fmt::format("depth correction refused: a block position of {} m is outside the block's "
                    "travel of {:.2f} to {:.2f} m",
                    position, settings_.block_low, settings_.block_high));
  }
  log_(fmt::format("depth correction: block position {:.2f} m -> {:.2f} m", depths_.block,
                   position));
  depths_.block = position;
  return true;
}

void DepthTracker::adopt(double bottom, double bit) {
  if (!sound_depth(bottom) || !sound_depth(bit)) return;
  depths_.bottom = bottom;
  depths_.bit = std::min(bit, bottom);
}

void DepthTracker::restore(const Depths& d) {
  depths_.bottom = sound_depth(d.bottom) ? d.bottom : 0;
  depths_.bit = sound_depth(d.bit) ? std::min(d.bit, depths_.bottom) : depths_.bottom;
  depths_.block = std::isfinite(d.block) ? clamp_block(d.block) : settings_.block_low;
  baseline_.reset();
}

}  // namespace rig
