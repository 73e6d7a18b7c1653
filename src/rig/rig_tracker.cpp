#include "rig/rig_tracker.h"

#include <cmath>
#include <exception>
#include <utility>

#include "calc/operations.h"
#include "lib/serial_list.h"
#include "storage/data_storage.h"

namespace rig {

void RigTrackerState::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  list.add(block).add(operation).add(last_mark).add(race).add(race_active);
}

RigTracker::RigTracker(ds_tmp::DataStorage& storage, Hooks hooks)
    : storage_(storage),
      hooks_(std::move(hooks)),
      depth_([this](std::int64_t pulses,
                    double height) { return hooks_.travel_for(pulses, height, operation()); },
             hooks_.log),
      lag_(
          [this](double depth, double remaining) {
            storage_.delayed_depth().add_record(
                {static_cast<float>(depth), static_cast<float>(remaining)});
          },
          [this](double pumped, double rate) {
            auto& lag = storage_.delayed_depth();
            lag.process_records(static_cast<float>(pumped));
            lag.calc(1, static_cast<float>(rate));
          },
          hooks_.annulus, hooks_.log) {}

void RigTracker::set_settings(const RigTrackerSettings& s) {
  settings_ = s;
  depth_.set_settings(s.depth);
  recognizer_.set_settings(s.recognition);
  lag_.set_settings(s.lag);
}

void RigTracker::start() {
  // The storage's depths as the settings or the saved state left them: the one read of them,
  // nothing of the tracker's own is there yet.
  Depths d{.block = 0, .bit = storage_.depth_cur(), .bottom = storage_.depth_z()};
  d.block = state_.loaded ? state_.block : depth_.settings().block_low;
  depth_.restore(d);
  const auto op = static_cast<RigOperation>(state_.operation);
  if (state_.loaded) recognizer_.restore(op);
  lag_.restore(state_.loaded ? state_.last_mark : -1);
  last_seconds_ = -1;
  written_ = {.block = 0, .bit = d.bit, .bottom = d.bottom};
  seen_writes_ = storage_.depth_writes();
}

bool RigTracker::take_outside_depths() {
  if (storage_.depth_writes() == seen_writes_) return false;
  // Someone else wrote the depths since the tracker's last write: those are the new start.
  depth_.adopt(storage_.depth_z(), storage_.depth_cur());
  written_ = depth_.depths();
  seen_writes_ = storage_.depth_writes();
  return true;
}

void RigTracker::tick(const RigInputs& in) {
  const double before = depth_.depths().block;
  depth_.tick(in.pulses, in.hook_load);
  // A gap of more than a few ticks (no readings) is not counted as pumping at today's rate.
  const double dt = last_seconds_ < 0 ? 0.0 : std::min(in.seconds - last_seconds_, kMaxTickSeconds);
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
  write_depths();
  // Every tick: the work type follows the rotary speed and the bit-run purpose too.
  try {
    storage_.set_operation(static_cast<calc::OperType>(operation()));
  } catch (const std::exception& e) {
    if (hooks_.log) hooks_.log(std::string("operation recognition: ") + e.what());
  }
  update_state();
}

void RigTracker::write_depths() {
  const Depths& d = depth_.depths();
  try {
    // A new bottom may drag the bit with it in the storage, so the bit is written after it
    // whenever the bottom moved; otherwise only what changed since the last write.
    const bool bottom_moved = d.bottom != written_.bottom;
    if (bottom_moved) storage_.set_depth_z(d.bottom);
    written_.bottom = d.bottom;
    if (bottom_moved || d.bit != written_.bit) storage_.set_depth_cur(d.bit);
    written_.bit = d.bit;
  } catch (const std::exception& e) {
    if (hooks_.log) hooks_.log(std::string("depth tracking: ") + e.what());
  }
  seen_writes_ = storage_.depth_writes();
}

bool RigTracker::set_bottom(double depth) {
  const double old_bottom = depth_.depths().bottom;
  if (!depth_.set_bottom(depth)) return false;
  if (depth < old_bottom) lag_.rebase(depth);
  write_depths();
  update_state();
  return true;
}

bool RigTracker::set_bit(double depth) {
  if (!depth_.set_bit(depth)) return false;
  write_depths();
  update_state();
  return true;
}

bool RigTracker::set_block(double position) {
  if (!depth_.set_block(position)) return false;
  write_depths();
  update_state();
  return true;
}

void RigTracker::start_run(int race, bool continue_race) {
  if (!continue_race) lag_.rebase(depth_.depths().bottom);
  state_.race = race;
  state_.race_active = true;
}

void RigTracker::update_state() {
  state_.block = depth_.depths().block;
  state_.operation = static_cast<std::int32_t>(recognizer_.current());
  state_.last_mark = lag_.last_mark();
}

}  // namespace rig
