// The stand counter: counts stands (and single pipes) going into or coming out of the hole
// from two signals sampled once a tick, the hook load and the travelling-block position.
//
// It keeps a bounded history of samples, cuts the block's motion into runs between reversals
// (ranges; the runs of steps they are made of are kept as the samples come and go, so a tick
// costs the few runs that changed, not the whole history), classes each run as loaded or not and as
// upward or downward, and recognises the two-run patterns of a trip: an empty block lowered, then a
// loaded lift (a stand out); an empty block raised, then a loaded run down (a stand in). A run
// shorter than a stand less half a pipe counts as whole pipes instead of a stand. See
// docs/stand-counter.md.
//
// The counts are saved in the state file (candle_format.h). Not thread-safe: the caller
// holds the system lock.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/module_base.h"

namespace candles {

// One sample.
struct Item {
  float weight = 0;        // hook load
  float position = 0;      // block position, m, increasing upwards
  std::uint32_t time = 0;  // the tick's time stamp
};

// One run of block motion between reversals.
struct Range {
  std::int32_t first = 0;  // history index of the run's first step
  std::int32_t last = 0;   // history index of its last moving step
  bool up = false;         // the run moves upwards
  bool loaded = false;     // the load at the reference point exceeds the zero weight
  float length = 0;        // m
  float weight = 0;        // load at the reference point
  float min_weight = 0;    // smallest load of the trimmed run (the last range only)
  float max_weight = 0;    // largest load of the trimmed run (the last range only)
  bool operator==(const Range&) const = default;
};

// The history guard: the samples to drop are not all in the history.
class CandleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
inline constexpr const char* kHistoryGuardMessage =
    "CandleCounter::calculate() -> 'del_position >= items.size()'";

class CandleCounter : public lib::SerialModuleBase {
 public:
  static constexpr float kMinStep = 0.01f;        // m: smaller steps are standing still
  static constexpr float kMinRunTravel = 2.0f;    // m: shorter runs are noise
  static constexpr float kMinRangeLength = 7.0f;  // m: shorter runs are working the pipe
  static constexpr std::size_t kMaxItems = 900;   // samples of history

  using LogSink = std::function<void(const std::string& line)>;

  CandleCounter();
  // Where the lines about each counted run go; may be empty.
  void set_log_sink(LogSink sink) { log_ = std::move(sink); }

  // Appends a sample, dropping the oldest beyond kMaxItems. A sample whose load or position
  // is not a finite number is refused (false) and the history stays as it was.
  bool add_item(const Item& item);
  // One recognition step. Pipes per stand of 0 or less, or a stroke that is not positive,
  // count nothing. Throws CandleError (kHistoryGuardMessage) when the history guard fails.
  void calculate(float zero_weight, float stroke, int pipes_per_stand);

  // The steps of calculate: the ranges of the history, oldest first, and the load of the last.
  void calc_ranges(std::list<Range>& ranges, float zero_weight) const;
  void calc_range_minmax(Range& range) const;
  // True when the list holds at least n ranges and the last n match the (loaded, up) pairs
  // of `pattern` (2n values) in order.
  static bool check_situation(const std::list<Range>& ranges, const bool* pattern, int n);

  std::int32_t get() const { return counter_; }
  // Out-of-range counts are held at 0 .. format::kMaxCount.
  void set(std::int32_t count);
  std::int32_t get_pipe() const { return pipe_counter_; }
  void set_pipe(std::int32_t count);
  void set_max_count(std::int32_t count) { max_count_ = count; }
  std::int32_t get_max_count() const { return max_count_; }
  std::int32_t get_last_direction() const { return last_direction_; }
  void set_last_direction(std::int32_t d) { last_direction_ = d; }
  float get_last_pipe_len() const { return last_length_; }
  const Range& get_last_range() const { return last_range_; }
  std::int32_t get_pipes_per_stand() const { return pipes_per_stand_; }
  const std::deque<Item>& items() const { return items_; }

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  void log(const std::string& line) const {
    if (log_) log_(line);
  }
  // A block of equal moving steps (a step: from one sample to the next, up, down or still),
  // the steps numbered from the first sample ever added, so dropping old samples moves no
  // number. The last block, still growing, is never noise; an earlier one is when the block
  // travels less than kMinRunTravel over it.
  struct Block {
    std::int64_t first = 0;
    std::int64_t last = 0;
    int sign = 0;
    float travel = 0;  // m, from its first step's start to its last step's start
  };
  float position_at(std::int64_t step) const {
    return items_[static_cast<std::size_t>(step - first_item_)].position;
  }
  bool noise(const Block& b) const;
  void measure(Block& b) const;
  // The range of the run from `first` to `last`; false when the run is too short for one.
  bool range_of(std::int32_t first, std::int32_t last, bool up, float zero_weight, Range& r) const;
  // Calls `take` with each run of moving steps (first, last, up) from `from` to `to` (blocks_
  // iterators, backwards: reverse ones), the run still open at the end last; stops when
  // `take` returns false.
  template <class It, class Take>
  void walk_runs(It from, It to, bool backwards, Take&& take) const;
  // Calls `f` with each range of the history, oldest first.
  template <class F>
  void each_range(float zero_weight, F&& f) const;
  // The last two ranges of the history into `two`, oldest first; how many there were (at
  // most 2; with fewer, the newest is two[1]).
  std::size_t newest_ranges(float zero_weight, std::array<Range, 2>& two) const;
  // Forgets the oldest `n` samples (at most all of them) and the steps that start at them.
  void drop_oldest(std::size_t n);

  std::deque<Item> items_;
  std::int64_t first_item_ = 0;  // the number of items_.front()
  std::deque<Block> blocks_;
  std::int32_t counter_ = 0;
  std::int32_t max_count_ = 0;
  std::int32_t pipe_counter_ = 0;
  std::int32_t pipes_per_stand_ = 0;
  float last_length_ = 0;
  Range last_range_;
  std::int32_t last_direction_ = 0;
  LogSink log_;
};

}  // namespace candles
