#include "station/rig_tracker.h"

#include <cmath>
#include <utility>

#include "lib/serial_list.h"

namespace station {

void RigTrackerState::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  list.add(block).add(operation).add(last_mark).add(race).add(race_active);
}

RigTracker::RigTracker(Hooks hooks)
    : hooks_(std::move(hooks)),
      depth_(hooks_.travel_for, hooks_.log),
      lag_(hooks_.add_mark, hooks_.pump, hooks_.annulus, hooks_.log) {}

void RigTracker::set_settings(const RigTrackerSettings& s) {
  depth_.set_settings(s.depth);
  recognizer_.set_settings(s.recognition);
  lag_.set_settings(s.lag);
}

void RigTracker::start(const Depths& stored) {
  Depths d = stored;
  d.block = state_.loaded ? state_.block : depth_.settings().block_low;
  depth_.restore(d);
  const auto op = static_cast<RigOperation>(state_.operation);
  if (state_.loaded) recognizer_.restore(op);
  lag_.restore(state_.loaded ? state_.last_mark : -1);
  last_seconds_ = -1;
}

const Depths& RigTracker::tick(const RigInputs& in) {
  const double before = depth_.depths().block;
  depth_.tick(in.pulses, in.hook_load);
  const double dt = last_seconds_ < 0 ? 0.0 : in.seconds - last_seconds_;
  last_seconds_ = in.seconds;
  block_speed_ = dt > 0 ? (depth_.depths().block - before) / dt : 0.0;

  RigSnapshot s;
  s.seconds = in.seconds;
  s.on_hook = depth_.on_hook();
  s.block_speed = block_speed_;
  s.bit_depth = depth_.depths().bit;
  s.bottom_depth = depth_.depths().bottom;
  s.drilled = depth_.drilled();
  s.inlet_pressure = in.inlet_pressure;
  s.rotary_speed = in.rotary_speed;
  s.weight_on_bit = in.weight_on_bit;
  recognizer_.tick(s);

  const bool pumping = in.inlet_pressure > recognizer_.settings().zero_pressure ||
                       (std::isfinite(in.flow_lpm) && in.flow_lpm > 0);
  lag_.tick(depth_.depths().bottom, dt, in.flow_lpm, pumping);
  return depth_.depths();
}

void RigTracker::update_state() {
  state_.block = depth_.depths().block;
  state_.operation = static_cast<std::int32_t>(recognizer_.current());
  state_.last_mark = lag_.last_mark();
}

}  // namespace station
