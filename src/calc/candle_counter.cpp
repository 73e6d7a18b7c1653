#include "calc/candle_counter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "calc/candle_format.h"
#include "lib/binary_stream.h"
#include "lib/serial_list.h"

namespace candles {
namespace {

// (loaded, up) pairs of the last two runs.
constexpr bool kStandOut[4] = {false, false, true, true};  // empty block down, loaded lift
constexpr bool kStandIn[4] = {false, true, true, false};   // empty block up, loaded run down

std::int32_t clamp_count(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, format::kMaxCount));
}

}  // namespace

CandleCounter::CandleCounter() : SerialModuleBase(format::kSerialName, format::kStateVersion) {}

bool CandleCounter::add_item(const Item& item) {
  if (!std::isfinite(item.weight) || !std::isfinite(item.position)) return false;
  items_.push_back(item);
  if (items_.size() >= 2) {
    const float d = item.position - items_[items_.size() - 2].position;
    const int sign = std::fabs(d) < kMinStep ? 0 : (d >= 0 ? 1 : -1);
    const std::int64_t step = first_item_ + static_cast<std::int64_t>(items_.size()) - 2;
    if (sign != 0) {
      if (!blocks_.empty() && blocks_.back().last == step - 1 && blocks_.back().sign == sign) {
        blocks_.back().last = step;
      } else {
        blocks_.push_back({step, step, sign});
      }
      measure(blocks_.back());
    }
  }
  if (items_.size() > kMaxItems) drop_oldest(items_.size() - kMaxItems);
  return true;
}

void CandleCounter::drop_oldest(std::size_t n) {
  n = std::min(n, items_.size());
  items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(n));
  first_item_ += static_cast<std::int64_t>(n);
  // The steps left start at the first sample left.
  while (!blocks_.empty() && blocks_.front().last < first_item_) blocks_.pop_front();
  if (!blocks_.empty() && blocks_.front().first < first_item_) {
    blocks_.front().first = first_item_;
    measure(blocks_.front());
  }
}

void CandleCounter::measure(Block& b) const {
  b.travel = std::fabs(position_at(b.first) - position_at(b.last));
}

void CandleCounter::set(std::int32_t count) {
  counter_ = clamp_count(count);
}

void CandleCounter::set_pipe(std::int32_t count) {
  pipe_counter_ = clamp_count(count);
}

bool CandleCounter::noise(const Block& b) const {
  const std::int64_t last_step = first_item_ + static_cast<std::int64_t>(items_.size()) - 2;
  return b.last < last_step && b.travel < kMinRunTravel;
}

bool CandleCounter::range_of(std::int32_t first, std::int32_t last, bool up, float zero_weight,
                             Range& r) const {
  r = Range{};
  r.first = first;
  r.last = last;
  const auto a = static_cast<std::size_t>(first);
  const auto z = static_cast<std::size_t>(last);
  r.length = std::fabs(items_[a].position - items_[z].position);
  if (r.length < kMinRangeLength) return false;
  // The reference point, about 5/6 through the run: past the pick-up, before the set-down.
  const std::size_t ref = (a + z) / 2 + (z - a) / 3;
  r.up = up;
  r.weight = items_[ref].weight;
  r.loaded = zero_weight < items_[ref].weight;
  return true;
}

template <class It, class Take>
void CandleCounter::walk_runs(It from, It to, bool backwards, Take&& take) const {
  // Runs that travel less than kMinRunTravel are noise: standing still. The moving steps
  // left, cut where the direction reverses, are the runs. A run is the same longest stretch of
  // moving steps in one direction whichever end it is met from, so the walk may go either way.
  bool open = false;
  Range run;
  for (It it = from; it != to; ++it) {
    const Block& b = *it;
    if (noise(b)) continue;
    const auto first = static_cast<std::int32_t>(b.first - first_item_);
    const auto last = static_cast<std::int32_t>(b.last - first_item_);
    if (open && run.up == (b.sign > 0)) {
      if (backwards) {
        run.first = first;
      } else {
        run.last = last;
      }
      continue;
    }
    if (open && !take(run)) return;
    open = true;
    run.first = first;
    run.last = last;
    run.up = b.sign > 0;
  }
  if (open) take(run);
}

template <class F>
void CandleCounter::each_range(float zero_weight, F&& f) const {
  walk_runs(blocks_.begin(), blocks_.end(), /*backwards=*/false, [&](const Range& run) {
    Range r;
    if (range_of(run.first, run.last, run.up, zero_weight, r)) f(r);
    return true;
  });
}

std::size_t CandleCounter::newest_ranges(float zero_weight, std::array<Range, 2>& two) const {
  // The same runs as each_range finds, newest first, so the walk stops at the second range
  // instead of going through the whole history. The newest run has not reversed yet: it is no
  // range.
  std::size_t found = 0;
  bool newest = true;
  walk_runs(blocks_.rbegin(), blocks_.rend(), /*backwards=*/true, [&](const Range& run) {
    if (std::exchange(newest, false)) return true;
    Range r;
    if (range_of(run.first, run.last, run.up, zero_weight, r)) two[1 - found++] = r;
    return found < 2;
  });
  return found;
}

void CandleCounter::calc_ranges(std::list<Range>& ranges, float zero_weight) const {
  ranges.clear();
  each_range(zero_weight, [&ranges](const Range& r) { ranges.push_back(r); });
}

void CandleCounter::calc_range_minmax(Range& r) const {
  r.min_weight = r.max_weight = 0;
  log(" index1=" + std::to_string(r.first) + " index2=" + std::to_string(r.last));
  const auto w = [this](std::int64_t k) { return items_[static_cast<std::size_t>(k)].weight; };
  const std::int64_t last =
      std::min<std::int64_t>(r.last, static_cast<std::int64_t>(items_.size()) - 1);
  std::int64_t j = r.first;
  // Past the rising front of the pick-up.
  do {
    ++j;
    if (j >= last) return;
  } while (w(j - 1) < w(j));
  r.min_weight = r.max_weight = w(j);
  // Before the falling tail of the set-down.
  std::int64_t k = last - 2;
  while (k > j && w(k) > w(k + 1)) --k;
  log(" index1=" + std::to_string(j) + " index2=" + std::to_string(k));
  if (j < k) {
    r.min_weight = r.max_weight = w(j);
    for (std::int64_t i = j + 1; i <= k; ++i) {
      if (w(i) < r.min_weight) {
        r.min_weight = w(i);
      } else if (w(i) > r.max_weight) {
        r.max_weight = w(i);
      }
    }
  }
}

bool CandleCounter::check_situation(const std::list<Range>& ranges, const bool* pattern, int n) {
  if (n < 0 || ranges.size() < static_cast<std::size_t>(n)) return false;
  auto it = ranges.end();
  std::advance(it, -n);
  for (int i = 0; i < n; ++i, ++it) {
    if (it->loaded != pattern[2 * i] || it->up != pattern[2 * i + 1]) return false;
  }
  return true;
}

void CandleCounter::calculate(float zero_weight, float stroke, int pipes_per_stand) {
  // Only the last two ranges can make a pattern.
  std::list<Range> ranges;
  std::array<Range, 2> last_two;
  if (newest_ranges(zero_weight, last_two) == 2) ranges.assign(last_two.begin(), last_two.end());
  pipes_per_stand_ = pipes_per_stand;
  int direction = 0;
  if (check_situation(ranges, kStandOut, 2)) {
    direction = -1;
  } else if (check_situation(ranges, kStandIn, 2)) {
    direction = +1;
  }
  if (direction == 0) return;
  last_direction_ = direction;
  Range& r = ranges.back();
  calc_range_minmax(r);
  last_length_ = r.length;
  last_range_ = r;

  // Without pipes per stand or a stroke there is no pipe length: nothing is counted, but
  // the runs are still consumed so they are not matched again.
  if (pipes_per_stand > 0 && stroke > 0 && std::isfinite(stroke)) {
    const std::int64_t pps = pipes_per_stand;
    const float pipe_len = stroke / static_cast<float>(pipes_per_stand);
    const double pipes = std::trunc(static_cast<double>(last_length_) / pipe_len);
    const std::int64_t p = static_cast<std::int64_t>(std::min(pipes, 1e6));
    std::int64_t counter = counter_;
    std::int64_t pipe = pipe_counter_;
    const bool partial = last_length_ <= stroke - pipe_len * 0.5f;
    if (direction > 0) {
      if (!partial) {
        counter += 1;
      } else if (pipe + p < pps) {
        pipe += p;
      } else {
        counter += 1;
        pipe = pipe + p - pps;
      }
    } else {
      if (!partial) {
        counter -= 1;
      } else if (pipe - p < 1) {
        counter -= 1;
        pipe = pps - (p - pipe);
      } else {
        pipe -= p;
      }
    }
    if (pipe == pps) {
      counter += 1;
      pipe = 0;
    }
    counter_ = clamp_count(counter);
    pipe_counter_ = clamp_count(pipe);
  }

  const std::size_t del = static_cast<std::size_t>(r.last);
  if (r.last < 0 || del >= items_.size()) throw CandleError(kHistoryGuardMessage);
  drop_oldest(del);
}

void CandleCounter::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  if (!list.reading()) {
    list.add(counter_).add(pipe_counter_);
    return;
  }
  std::int32_t counter = 0, pipe = 0;
  list.add(counter).add(pipe);
  auto check = [](std::int32_t v, const char* what) {
    if (v < 0 || v > format::kMaxCount)
      throw lib::io::StreamError(std::string("CandleCounter: the ") + what + " count " +
                                 std::to_string(v) + " is outside 0.." +
                                 std::to_string(format::kMaxCount));
  };
  check(counter, "stand");
  check(pipe, "pipe");
  counter_ = counter;
  pipe_counter_ = pipe;
}

}  // namespace candles
