// Feeds the lag-depth queue from the station's tick: a mark each time the bottom passes a new
// depth step, carrying what must still be pumped before the mud at the bit then reaches the
// surface, and each tick what the pumps moved.
//
// Two ways to measure "what must still be pumped":
//   by volume (the default): the annulus volume at the mark's depth, from the well model, in
//     m³; each tick takes off the volume the pumps moved (strokes × volume per stroke × fill
//     coefficient);
//   by time (when a lag time is set and "by lag time" is on): the lag time plus its
//     increase per 100 m, in seconds; each tick with the pumps on takes off the tick's length.
// Not thread-safe: the station's tick owns it.
#pragma once

#include <functional>
#include <string>

namespace rig {

struct LagSettings {
  double depth_step = 0.2;  // m between two marks
  bool by_time = false;
  double lag_seconds = 0;           // by time: lag at the surface
  double lag_seconds_per_100m = 0;  // by time: growth with depth
};

class LagFeeder {
 public:
  // Appends a mark: the depth and what remains to pump (m³ or s).
  using AddMark = std::function<void(double depth, double remaining)>;
  // Takes `pumped` (m³ or s) off every mark and advances the lag depth; `rate` is per second.
  using Pump = std::function<void(double pumped, double rate)>;
  using AnnulusVolume = std::function<double(double depth)>;
  using Log = std::function<void(const std::string& message)>;

  LagFeeder(AddMark add_mark, Pump pump, AnnulusVolume annulus, Log log);

  void set_settings(const LagSettings& s);
  const LagSettings& settings() const { return settings_; }

  // One tick of `seconds` length: marks for the bottom at `bottom`, then the pumped flow
  // (litres per minute; the pumps count as on while `pumping`).
  void tick(double bottom, double seconds, double flow_lpm, bool pumping);

  // The last marked depth: marks continue from here after a restart.
  double last_mark() const { return last_mark_; }
  void restore(double last_mark) { last_mark_ = last_mark; }
  // After an operator moved the bottom up, marks start again from the new bottom.
  void rebase(double bottom) { last_mark_ = bottom; }
  // The lag time or volume a mark at `depth` starts with.
  double remaining_for(double depth) const;

  // At most this many marks per tick: a bottom corrected far down must not flood the queue.
  static constexpr int kMaxMarksPerTick = 1000;

 private:
  AddMark add_mark_;
  Pump pump_;
  AnnulusVolume annulus_;
  Log log_;
  LagSettings settings_;
  double last_mark_ = -1;  // < 0: none yet, the first tick takes the bottom
};

}  // namespace rig
