// The queue between the producers of recorded lines (the station's tick) and the writer
// thread, and what the writer remembers of each file. Thread-safe: every member takes the
// queue's own lock; nothing blocks longer than a copy of a pointer or a small map entry, so
// a producer never waits for the disk.
//
// Memory is bounded: the queue holds at most max_bytes of tasks (kDefaultMaxQueueBytes
// unless the owner says otherwise). A task that would go beyond is refused, not queued, and
// counted; tasks already queued are never dropped, so every line that was accepted is
// written once the disk takes it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "storage/real_time_records.h"

namespace rtf {

// 64 MiB: at 100 parameters a time line takes about 0.5 KiB in memory, so the queue holds
// more than a day of lines of every file while the disk is away.
inline constexpr std::size_t kDefaultMaxQueueBytes = std::size_t{64} << 20;

class ValuesWriterDeque {
 public:
  explicit ValuesWriterDeque(std::size_t max_bytes = kDefaultMaxQueueBytes)
      : max_bytes_(max_bytes) {}

  // Queues a task behind the others (taking it from `task`) and wakes the writer; false
  // (nothing queued, `task` left as it was, the refusal counted) when it would take the
  // queue beyond its limit.
  bool push(std::shared_ptr<const Records>&& task);
  // While held, push wakes no one: the writer, which looks at the queue every few tens of
  // milliseconds anyway, takes the tasks on its next look. A tick queues its lines once a
  // second; waking the writer for them cost the tick more than all its lines' making.
  void hold_wakeups();
  void release_wakeups();
  // The oldest task, left in the queue; null when the queue is empty.
  std::shared_ptr<const Records> oldest() const;
  // The oldest task and those right behind it for the same file, at most `max`.
  std::vector<std::shared_ptr<const Records>> oldest_of_one_file(std::size_t max) const;
  // The same into `out` (cleared first), whose capacity is reused.
  void oldest_of_one_file(std::size_t max, std::vector<std::shared_ptr<const Records>>& out) const;
  // Removes the oldest task (the one oldest() gave) / the `n` oldest.
  void pop_oldest(std::size_t n = 1);

  std::size_t size() const;
  std::size_t bytes() const;
  std::size_t max_bytes() const { return max_bytes_; }
  // Tasks refused because the queue was full, since the start.
  std::uint64_t refused() const;

  ValuesWriterDequeFileData file_data(const std::string& file) const;
  void set_file_data(const std::string& file, ValuesWriterDequeFileData data);
  // Forgets what was written to the file: its next write starts with a version block.
  void forget_file(const std::string& file);

  // Waits until a task is queued, the stop is requested or the time is up; true when a task
  // is queued.
  bool wait_for_task(std::stop_token stop, std::chrono::milliseconds at_most);
  // Waits the time unless the stop is requested first; true when it was.
  bool wait_or_stop(std::stop_token stop, std::chrono::milliseconds time);
  // Waits until the queue is empty or the time is up; true when it is empty.
  bool wait_until_empty(std::chrono::milliseconds at_most);

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::shared_ptr<const Records>> tasks_;  // oldest at the front
  std::deque<std::size_t> task_bytes_;
  std::map<std::string, ValuesWriterDequeFileData> files_;
  std::size_t bytes_ = 0;
  std::size_t max_bytes_;
  std::uint64_t refused_ = 0;
  int waiting_ = 0;  // threads inside one of the waits
  bool held_ = false;
};

}  // namespace rtf
