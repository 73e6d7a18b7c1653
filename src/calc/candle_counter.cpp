#include "calc/candle_counter.h"

#include <algorithm>
#include <cmath>
#include <string>

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
  while (items_.size() > kMaxItems) items_.pop_front();
  return true;
}

void CandleCounter::set(std::int32_t count) {
  counter_ = clamp_count(count);
}

void CandleCounter::set_pipe(std::int32_t count) {
  pipe_counter_ = clamp_count(count);
}

void CandleCounter::calc_velocity(std::vector<int>& steps) const {
  // The positions side by side first: indexing the history's blocks for each step cost
  // more than the steps themselves, and this runs over the whole history every tick.
  std::vector<float>& position = positions_;
  position.clear();
  for (const Item& item : items_) position.push_back(item.position);
  const std::size_t n = position.size();
  steps.assign(n > 0 ? n - 1 : 0, 0);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const float d = position[i + 1] - position[i];
    steps[i] = std::fabs(d) < kMinStep ? 0 : (d >= 0 ? 1 : -1);
  }
  // Runs that travel less than kMinRunTravel are noise: they become standing still.
  const std::size_t m = steps.size();
  std::size_t i = 0;
  while (true) {
    std::size_t p = i;
    while (p < m && steps[p] == 0) ++p;
    if (p >= m) break;
    std::size_t q = p + 1;
    while (q < m && steps[q] == steps[p]) ++q;
    if (q >= m) break;
    if (std::fabs(position[p] - position[q - 1]) < kMinRunTravel)
      std::fill(steps.begin() + static_cast<std::ptrdiff_t>(p),
                steps.begin() + static_cast<std::ptrdiff_t>(q), 0);
    i = q;
  }
}

void CandleCounter::calc_ranges(std::list<Range>& ranges, float zero_weight) const {
  ranges.clear();
  calc_velocity(steps_);
  const std::vector<int>& s = steps_;
  const std::size_t m = s.size();
  std::size_t i = 0;
  while (true) {
    std::size_t first = i;
    while (first < m && s[first] == 0) ++first;
    if (first >= m) break;
    // A run becomes a range only once the block has reversed.
    std::size_t rev = first + 1;
    while (rev < m && s[rev] != -s[first]) ++rev;
    if (rev >= m) break;
    std::size_t last = rev - 1;
    while (s[last] == 0) --last;  // stops at `first` at the latest
    i = last + 1;
    Range r;
    r.first = static_cast<std::int32_t>(first);
    r.last = static_cast<std::int32_t>(last);
    r.length = std::fabs(items_[first].position - items_[last].position);
    if (r.length < kMinRangeLength) continue;
    // The reference point, about 5/6 through the run: past the pick-up, before the set-down.
    const std::size_t ref = (first + last) / 2 + (last - first) / 3;
    r.up = s[first] == 1;
    r.weight = items_[ref].weight;
    r.loaded = zero_weight < items_[ref].weight;
    ranges.push_back(r);
  }
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
  std::list<Range> ranges;
  calc_ranges(ranges, zero_weight);
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
  items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(del));
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
