// The lag depth: the bottom-hole depth at which the mud now reaching the surface was at the
// bit. Cuttings leave the bit and come up only once the annulus volume has been pumped, so
// DelayedDepth keeps a queue of depth marks, each with the volume still to pump before its mud
// is out, and turns it into the lag depth and the time until the next mark comes out.
//
// The host and plug-ins feed it: add_record when the bottom deepens (with the annulus volume
// the mark must travel), process_records with the volume pumped since the last call, calc
// once a tick. The data storage owns it and hands it the one thing it reads from there, the
// bottom-hole depth. Its queue is saved in the state file (lag_queue_format.h,
// docs/lag-queue.md).
//
// Not thread-safe: the caller holds the system lock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "lib/module_base.h"

namespace calc {

// One mark on its way up.
struct DelayedDepthTime {
  float depth = 0;             // m
  float remaining_volume = 0;  // still to pump before the mark's mud is out
  bool operator==(const DelayedDepthTime&) const = default;
};

// A mud sample by depth; both fields start at the depth it was made for.
struct DDRastvorItem {
  explicit DDRastvorItem(float depth) : depth(depth), value(depth) {}
  float depth;
  float value;
};

struct DDRastvorItems {
  std::deque<DDRastvorItem> items;
  float current = 0;
  float get() const { return current; }
};

class DelayedDepth : public lib::SerialModuleBase {
 public:
  using DepthSource = std::function<double()>;
  using ErrorSink = std::function<void(const std::string& message)>;

  static constexpr float data_rate = 1.0f;

  // `bottom_depth` gives the current bottom-hole depth (metres); `error_sink` hears what a
  // damaged saved state cost. Either may be empty (depth 0, nothing told).
  explicit DelayedDepth(DepthSource bottom_depth, ErrorSink error_sink = {});

  double get_value() const { return value_; }
  std::int32_t get_time_to_depth_out() const { return time_to_depth_out_; }
  const std::deque<DelayedDepthTime>& records() const { return records_; }

  // Appends a mark at the back of the queue (the newest).
  void add_record(const DelayedDepthTime& record) { records_.push_back(record); }
  // Subtracts the volume pumped since the last call from every mark.
  void process_records(float volume);
  // Marks whose volume is pumped set the lag depth and leave the queue (the last one wins);
  // then the time until the first mark in the next multiple of `step` metres comes out at
  // `rate` (volume per tick unit), or -1 when there is no such mark or the rate is below
  // 0.0001.
  void calc(int step, float rate);
  // Empties the queue; the lag depth becomes the bottom-hole depth.
  void clear();
  // clear() when the queue is empty, else nothing.
  void init_z();

  void add_depth(float depth);
  const DDRastvorItems& rastvor_items(int which) const { return which == 0 ? items1_ : items2_; }

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  std::deque<DelayedDepthTime> records_;
  double value_ = 0;
  std::int32_t time_to_depth_out_ = -1;
  DepthSource bottom_depth_;
  ErrorSink error_sink_;
  DDRastvorItems items1_;
  DDRastvorItems items2_;
};

}  // namespace calc
