// The totals of the current bit run: how many ticks went to drilling, tripping (deeper and
// shallower), reaming, flushing, circulation and the rest, the footage since the start,
// the pumped volume and strokes, and the average of every parameter over the run. The hub
// starts them at the start of a registration run (before_work) and stops them at its end
// (after_work); the station calls calculate() once per one-second tick, after the other
// calculations, so a tick counts one second. Saved in the state file (race_total_format.h,
// docs/run-totals.md).
//
// RaceTotal reads the rig through a RaceSource the owner supplies, so it builds and tests
// without the data storage. Not thread-safe: the caller holds the system lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lib/module_base.h"

namespace calc {

// What the run totals read each tick.
class RaceSource {
 public:
  virtual ~RaceSource() = default;
  // Called at the start of each calculate(), before any other read.
  virtual void begin_tick() {}
  virtual double bit_depth() const = 0;     // m
  virtual double bottom_depth() const = 0;  // m
  // The effective operation code (drilling 2, reaming 3, flushing 4, tripping 14 and 15).
  virtual std::int32_t operation() const = 0;
  virtual bool circulation_on() const = 0;
  // The catalogue's parameters; accumulator i belongs to parameter i.
  virtual int param_count() const = 0;
  virtual std::string_view param_identifier(int index) const = 0;
  // The current average of parameter `index`; false when the table has no row for it.
  virtual bool param_average(int index, double& average) const = 0;
  // The first parameter at or after `index` that may have an average, param_count() or more
  // when none is left: a source that knows which parameters have no row lets a tick skip
  // them instead of asking for each.
  virtual int next_param(int index) const { return index; }
  // The averages of the inlet flow (l/s) and the pump strokes; 0 when the table lacks them.
  virtual double inlet_flow() const = 0;
  virtual double pump_strokes() const = 0;
  // Local wall-clock seconds.
  virtual std::int64_t now_seconds() const = 0;
};

class RaceTotal : public lib::SerialModuleBase {
 public:
  static constexpr int kMaxParams = 512;
  static constexpr double kTicksPerHour = 3600.0;

  struct Accumulator {
    long double sum = 0;
    std::int32_t count = 0;
    bool operator==(const Accumulator&) const = default;
  };

  // `source` may be null until set_source(); calculate, start and stop then do nothing.
  explicit RaceTotal(RaceSource* source = nullptr);
  void set_source(RaceSource* source) { source_ = source; }

  // A new run: start time now, start depth the bottom-hole depth, pumped volume and stroke
  // sum cleared.
  void start();
  // The run's end: end time now, end depth the bottom-hole depth.
  void stop();
  // One tick (see docs/run-totals.md).
  void calculate();
  // Zeroes the counters, times, depths and every accumulator.
  void clear_values();
  void clear_nasos_rastvor_volume();

  // The average of a parameter over the run: 0 when it was never counted or no catalogue
  // parameter has that identifier (compared without regard to case).
  double get_aver_value(std::string_view identifier) const;
  // Metres per hour from start to stop; 0 when the run has no positive duration.
  double get_race_rate() const;
  double get_race_start() const { return start_depth_; }
  // Bottom-hole depth minus the start depth, never negative.
  double get_prohodka() const;
  double get_nasos_rastvor_volume() const { return pumped_volume_; }
  double get_nasos_summ_strokes() const { return 0.001 * stroke_sum_; }

  // Tick counters (one tick is one second).
  std::int32_t circulation_ticks() const { return circulation_ticks_; }
  std::int32_t tripping_ticks() const { return tripping_ticks_; }
  std::int32_t tripping_deeper_ticks() const { return deeper_ticks_; }
  std::int32_t tripping_shallower_ticks() const { return shallower_ticks_; }
  std::int32_t drilling_ticks() const { return drilling_ticks_; }
  std::int32_t total_ticks() const { return total_ticks_; }
  std::int32_t reaming_ticks() const { return oper3_ticks_; }
  std::int32_t flushing_ticks() const { return oper4_ticks_; }
  std::int32_t other_ticks() const { return other_ticks_; }
  // "время_бурения": drilling ticks in hours.
  double drill_time_hours() const { return drilling_ticks_ / kTicksPerHour; }
  // Footage over drilling time, m/h; 0 before any drilling.
  double average_rop() const;

  std::int32_t start_time() const { return start_time_; }
  std::int32_t end_time() const { return end_time_; }
  double end_depth() const { return end_depth_; }
  double bottom_depth() const { return bottom_depth_; }
  double stroke_sum() const { return stroke_sum_; }
  const std::vector<Accumulator>& accumulators() const { return acc_; }

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  struct Saved;
  Saved saved() const;
  void restore(const Saved& s);

  RaceSource* source_;
  double bottom_depth_ = 0;
  double pumped_volume_ = 0;
  double stroke_sum_ = 0;
  double prev_bit_depth_ = 0;
  std::int32_t reserved_ = 0;
  std::int32_t circulation_ticks_ = 0;
  std::int32_t tripping_ticks_ = 0;
  std::int32_t deeper_ticks_ = 0;
  std::int32_t shallower_ticks_ = 0;
  std::int32_t drilling_ticks_ = 0;
  std::int32_t total_ticks_ = 0;
  std::int32_t oper3_ticks_ = 0;
  std::int32_t oper4_ticks_ = 0;
  std::int32_t other_ticks_ = 0;
  std::int32_t start_time_ = 0;
  std::int32_t end_time_ = 0;
  double start_depth_ = 0;
  double end_depth_ = 0;
  std::vector<Accumulator> acc_;
};

}  // namespace calc
