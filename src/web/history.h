// The recent values of the station, one sample per tick per parameter, kept in memory for the
// charts a client draws at connect. Bounded: the oldest tick goes when a new one comes once
// `capacity` ticks are held, and at most kMaxColumns parameters are kept.
// Not thread-safe: the web server guards it with its own lock.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace web {

class History {
 public:
  static constexpr std::size_t kMaxColumns = 1024;

  explicit History(std::size_t capacity);

  // One tick: its time (seconds) and the values by parameter name. A parameter missing from
  // a tick, or a NaN, has no value there; a time not after the newest one is still kept (a
  // clock set back), and queries then go by position, not by time.
  void add(double t, const std::vector<std::pair<std::string, double>>& values);

  struct Slice {
    std::vector<double> t;
    // One list per name asked for that the history knows, each as long as `t`; NaN: none.
    std::vector<std::pair<std::string, std::vector<float>>> columns;
    std::vector<std::string> unknown;  // names asked for that it has never seen
  };
  // The ticks after `since` (all of them for a `since` before the oldest), oldest first.
  Slice since(const std::vector<std::string>& names, double since) const;

  std::size_t size() const { return count_; }
  std::size_t capacity() const { return capacity_; }
  // The bytes the samples take, for the memory bound.
  std::size_t memory_bytes() const;

 private:
  std::size_t capacity_;
  std::size_t count_ = 0;
  std::size_t next_ = 0;  // slot of the next tick
  std::vector<double> times_;
  std::map<std::string, std::size_t> column_of_;
  std::vector<std::vector<float>> columns_;
};

}  // namespace web
