#include "calc/race_total.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "calc/race_total_format.h"
#include "lib/binary_stream.h"
#include "lib/ident.h"
#include "lib/serial_list.h"

namespace calc {
namespace {

constexpr std::int32_t kDrilling = 2;
constexpr std::int32_t kReaming = 3;
constexpr std::int32_t kFlushing = 4;
constexpr std::int32_t kTrippingIn = 14;
constexpr std::int32_t kTrippingOut = 15;

// A load below this is the bit off bottom, not drilling: it would drag the average down.
constexpr double kMinCountedLoad = 0.01;

// Counters saturate: a counter restored near its limit must not wrap into a negative time.
void bump(std::int32_t& counter) {
  if (counter < INT32_MAX) ++counter;
}

bool is_circulation_param(std::string_view id) {
  return id == "расход_на_выходе" || id == "давление_на_входе" || id == "обороты_ротора" ||
         id == "момент_ротора" || id == "объем_актив_емкости";
}

std::int32_t clamp_seconds(std::int64_t s) {
  if (s > INT32_MAX) return INT32_MAX;
  if (s < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(s);
}

}  // namespace

struct RaceTotal::Saved {
  double bottom_depth = 0, pumped_volume = 0, start_depth = 0, end_depth = 0, stroke_sum = 0;
  double prev_bit_depth = 0;
  std::int32_t reserved = 0, circulation = 0, tripping = 0, drilling = 0, total = 0, oper3 = 0,
               oper4 = 0, other = 0, start_time = 0, end_time = 0, deeper = 0, shallower = 0;
  std::vector<Accumulator> acc;
};

RaceTotal::RaceTotal(RaceSource* source)
    : SerialModuleBase(race_format::kSerialName, race_format::kStateVersion), source_(source) {}

void RaceTotal::start() {
  if (source_ == nullptr) return;
  start_time_ = clamp_seconds(source_->now_seconds());
  start_depth_ = source_->bottom_depth();
  prev_bit_depth_ = source_->bit_depth();
  bottom_depth_ = start_depth_;
  clear_nasos_rastvor_volume();
}

void RaceTotal::stop() {
  if (source_ == nullptr) return;
  end_time_ = clamp_seconds(source_->now_seconds());
  end_depth_ = source_->bottom_depth();
}

void RaceTotal::calculate() {
  if (source_ == nullptr) return;
  source_->begin_tick();
  const RaceSource& src = *source_;
  const double bit = src.bit_depth();
  const bool deeper = bit > prev_bit_depth_;
  const bool shallower = bit < prev_bit_depth_;
  // A depth that is not a number must not stick as the previous depth.
  if (std::isfinite(bit)) prev_bit_depth_ = bit;
  const double bottom = src.bottom_depth();
  if (std::isfinite(bottom)) bottom_depth_ = bottom;

  bump(total_ticks_);
  switch (src.operation()) {
    case kDrilling:
      bump(drilling_ticks_);
      break;
    case kReaming:
      bump(oper3_ticks_);
      break;
    case kFlushing:
      bump(oper4_ticks_);
      break;
    case kTrippingIn:
    case kTrippingOut:
      bump(tripping_ticks_);
      if (deeper) bump(deeper_ticks_);
      if (shallower) bump(shallower_ticks_);
      break;
    default:
      bump(other_ticks_);
  }
  const bool circulating = src.circulation_on();
  if (circulating) bump(circulation_ticks_);

  const int n = std::min(src.param_count(), kMaxParams);
  if (static_cast<int>(acc_.size()) < n) acc_.resize(static_cast<std::size_t>(n));
  for (int i = 0; (i = std::max(i, src.next_param(i))) < n; ++i) {
    double average = 0;
    if (!src.param_average(i, average) || !std::isfinite(average)) continue;
    const std::string_view id = src.param_identifier(i);
    if (id == "нагрузка" && average < kMinCountedLoad) continue;
    if (!circulating && is_circulation_param(id)) continue;
    Accumulator& a = acc_[static_cast<std::size_t>(i)];
    if (a.count == INT32_MAX) continue;
    a.sum += average;
    ++a.count;
  }

  const double flow = src.inlet_flow();
  if (std::isfinite(flow)) pumped_volume_ += 0.001 * flow;
  const double strokes = src.pump_strokes();
  if (std::isfinite(strokes)) stroke_sum_ += strokes;
}

void RaceTotal::clear_values() {
  Saved zero;
  zero.acc.assign(acc_.size(), Accumulator{});
  restore(zero);
}

void RaceTotal::clear_nasos_rastvor_volume() {
  pumped_volume_ = 0;
  stroke_sum_ = 0;
}

double RaceTotal::get_aver_value(std::string_view identifier) const {
  if (source_ == nullptr) return 0;
  const std::string wanted = lib::to_lower(identifier);
  const int n = std::min(source_->param_count(), static_cast<int>(acc_.size()));
  for (int i = 0; i < n; ++i) {
    if (lib::to_lower(source_->param_identifier(i)) != wanted) continue;
    const Accumulator& a = acc_[static_cast<std::size_t>(i)];
    return a.count == 0 ? 0.0 : static_cast<double>(a.sum / a.count);
  }
  return 0;
}

double RaceTotal::get_race_rate() const {
  const std::int64_t seconds = std::int64_t{end_time_} - start_time_;
  if (seconds <= 0) return 0;
  return (end_depth_ - start_depth_) * 3600.0 / static_cast<double>(seconds);
}

double RaceTotal::get_prohodka() const {
  const double footage = bottom_depth_ - start_depth_;
  return footage > 0 ? footage : 0;
}

double RaceTotal::average_rop() const {
  if (drilling_ticks_ <= 0) return 0;
  return get_prohodka() / drill_time_hours();
}

RaceTotal::Saved RaceTotal::saved() const {
  Saved s;
  s.bottom_depth = bottom_depth_;
  s.pumped_volume = pumped_volume_;
  s.start_depth = start_depth_;
  s.end_depth = end_depth_;
  s.stroke_sum = stroke_sum_;
  s.prev_bit_depth = prev_bit_depth_;
  s.reserved = reserved_;
  s.circulation = circulation_ticks_;
  s.tripping = tripping_ticks_;
  s.drilling = drilling_ticks_;
  s.total = total_ticks_;
  s.oper3 = oper3_ticks_;
  s.oper4 = oper4_ticks_;
  s.other = other_ticks_;
  s.start_time = start_time_;
  s.end_time = end_time_;
  s.deeper = deeper_ticks_;
  s.shallower = shallower_ticks_;
  s.acc = acc_;
  return s;
}

void RaceTotal::restore(const Saved& s) {
  bottom_depth_ = s.bottom_depth;
  pumped_volume_ = s.pumped_volume;
  start_depth_ = s.start_depth;
  end_depth_ = s.end_depth;
  stroke_sum_ = s.stroke_sum;
  prev_bit_depth_ = s.prev_bit_depth;
  reserved_ = s.reserved;
  circulation_ticks_ = s.circulation;
  tripping_ticks_ = s.tripping;
  drilling_ticks_ = s.drilling;
  total_ticks_ = s.total;
  oper3_ticks_ = s.oper3;
  oper4_ticks_ = s.oper4;
  other_ticks_ = s.other;
  start_time_ = s.start_time;
  end_time_ = s.end_time;
  deeper_ticks_ = s.deeper;
  shallower_ticks_ = s.shallower;
  acc_ = s.acc;
}

void RaceTotal::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  const bool full = list.data_version() >= race_format::kFullFrame;
  if (!list.reading()) {
    Saved s = saved();
    lib::io::OutputStream& out = *list.output();
    using lib::io::write_binary;
    write_binary(out, s.bottom_depth);
    write_binary(out, s.pumped_volume);
    for (std::int32_t v : {s.reserved, s.circulation, s.tripping, s.drilling, s.total, s.oper3,
                           s.oper4, s.other, s.start_time, s.end_time})
      write_binary(out, v);
    write_binary(out, s.start_depth);
    write_binary(out, s.end_depth);
    write_binary(out, s.stroke_sum);
    if (full) {
      write_binary(out, static_cast<std::uint32_t>(s.acc.size()));
      for (const Accumulator& a : s.acc) {
        write_binary(out, static_cast<double>(a.sum));
        write_binary(out, a.count);
      }
    }
    write_binary(out, s.deeper);
    write_binary(out, s.shallower);
    write_binary(out, s.prev_bit_depth);
    return;
  }

  // Read everything first and take it only when all of it is sound: a damaged block leaves
  // the totals held as they were.
  lib::io::InputStream& in = *list.input();
  using lib::io::StreamError;
  Saved s;
  auto number = [&](double& v, const char* what) {
    lib::io::read_binary(in, v);
    if (!std::isfinite(v))
      throw StreamError(std::string("RaceTotal: the ") + what + " is not a number");
  };
  auto ticks = [&](std::int32_t& v, const char* what) {
    lib::io::read_binary(in, v);
    if (v < 0)
      throw StreamError(std::string("RaceTotal: the ") + what + " is negative (" +
                        std::to_string(v) + ")");
  };
  number(s.bottom_depth, "bottom-hole depth");
  number(s.pumped_volume, "pumped volume");
  lib::io::read_binary(in, s.reserved);
  ticks(s.circulation, "circulation time");
  ticks(s.tripping, "tripping time");
  ticks(s.drilling, "drilling time");
  ticks(s.total, "registration time");
  ticks(s.oper3, "reaming time");
  ticks(s.oper4, "flushing time");
  ticks(s.other, "other time");
  lib::io::read_binary(in, s.start_time);
  lib::io::read_binary(in, s.end_time);
  number(s.start_depth, "start depth");
  number(s.end_depth, "end depth");
  number(s.stroke_sum, "stroke sum");
  // The short frame carries no averages: those held stay.
  if (!full) s.acc = acc_;
  if (full) {
    std::uint32_t n = 0;
    lib::io::read_binary(in, n);
    if (n > race_format::kMaxAccumulators)
      throw StreamError("RaceTotal: " + std::to_string(n) + " parameter averages, at most " +
                        std::to_string(race_format::kMaxAccumulators) + " can be held");
    if (std::uint64_t{n} * race_format::kAccumulatorBytes > in.remaining())
      throw StreamError("RaceTotal: " + std::to_string(n) +
                        " parameter averages do not fit the data left");
    s.acc.resize(n);
    for (Accumulator& a : s.acc) {
      double sum = 0;
      number(sum, "sum of a parameter average");
      a.sum = sum;
      ticks(a.count, "count of a parameter average");
    }
  }
  ticks(s.deeper, "time tripping in");
  ticks(s.shallower, "time tripping out");
  number(s.prev_bit_depth, "previous bit depth");
  restore(s);
}

}  // namespace calc
