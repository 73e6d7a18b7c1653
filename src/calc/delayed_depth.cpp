#include "calc/delayed_depth.h"

#include <cmath>
#include <limits>
#include <utility>

#include "calc/lag_queue_format.h"
#include "lib/binary_stream.h"

namespace calc {

namespace {

// Below this rate nothing is coming up and no time can be told.
constexpr float kMinRate = 0.0001f;

// The whole part of a / b, held inside 32 bits; -1 when it is no number at all.
std::int32_t whole_seconds(double a, double b) {
  const double t = std::trunc(a / b);
  if (std::isnan(t)) return -1;
  if (t >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (t <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(t);
}

}  // namespace

DelayedDepth::DelayedDepth(DepthSource bottom_depth, ErrorSink error_sink)
    : lib::SerialModuleBase(lag_format::kSerialName, lag_format::kStateVersion),
      bottom_depth_(std::move(bottom_depth)),
      error_sink_(std::move(error_sink)) {}

void DelayedDepth::process_records(float volume) {
  for (DelayedDepthTime& r : records_) r.remaining_volume -= volume;
}

void DelayedDepth::calc(int step, float rate) {
  while (!records_.empty() && !(records_.front().remaining_volume > 0)) {
    value_ = records_.front().depth;
    records_.pop_front();
  }
  step = std::max(step, 1);
  time_to_depth_out_ = -1;
  if (rate < kMinRate || records_.empty()) return;
  // Whole metres and whole multiples of the step, in doubles: a depth from a damaged state
  // may not fit an integer.
  double d = std::trunc(static_cast<double>(records_.front().depth));
  for (std::size_t i = 1; i < records_.size(); ++i) {
    const double depth = records_[i].depth;
    if (std::trunc(depth / step) != std::trunc(d / step)) {
      time_to_depth_out_ = whole_seconds(records_[i].remaining_volume, rate);
      return;
    }
    d = std::trunc(depth);
  }
}

void DelayedDepth::clear() {
  records_.clear();
  value_ = bottom_depth_ ? bottom_depth_() : 0.0;
}

void DelayedDepth::init_z() {
  if (records_.empty()) clear();
}

void DelayedDepth::add_depth(float depth) {
  items1_.items.emplace_back(depth);
  items2_.items.emplace_back(depth);
}

void DelayedDepth::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  const bool full = list.data_version() == lag_format::kFullFrame;
  if (!list.reading()) {
    list.add(value_).add(time_to_depth_out_);
    if (!full) return;
    auto count = static_cast<std::uint32_t>(records_.size());
    list.add(count);
    for (DelayedDepthTime& r : records_) list.add(r.depth).add(r.remaining_volume);
    return;
  }

  double value = 0;
  std::int32_t time = -1;
  list.add(value).add(time);
  if (!full) {
    value_ = value;
    time_to_depth_out_ = time;
    return;
  }
  std::uint32_t count = 0;
  list.add(count);
  // The count is only a claim: no more marks are taken than the bytes left hold.
  lib::io::InputStream& in = *list.input();
  const std::uint64_t fit = in.remaining() / lag_format::kMarkBytes;
  const std::uint64_t take = std::min<std::uint64_t>(count, fit);
  std::deque<DelayedDepthTime> marks;
  std::uint64_t not_finite = 0;
  for (std::uint64_t i = 0; i < take; ++i) {
    DelayedDepthTime r;
    list.add(r.depth).add(r.remaining_volume);
    if (std::isfinite(r.depth) && std::isfinite(r.remaining_volume)) {
      marks.push_back(r);
    } else {
      ++not_finite;
    }
  }
  value_ = value;
  time_to_depth_out_ = time;
  records_ = std::move(marks);
  if ((take < count || not_finite > 0) && error_sink_) {
    std::string message =
        "DelayedDepth: the saved lag queue announces " + std::to_string(count) + " mark(s)";
    if (take < count) message += " but holds data for " + std::to_string(take);
    if (not_finite > 0) {
      message += (take < count ? "; " : ", ") + std::to_string(not_finite) +
                 " of them are not numbers and are dropped";
    }
    message += "; " + std::to_string(records_.size()) +
               " mark(s) restored, the lag depth may run ahead until new marks come up";
    error_sink_(message);
  }
}

}  // namespace calc
