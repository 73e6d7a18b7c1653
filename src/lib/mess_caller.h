// Work that must run on the host's main thread (the thread that drives the data tick) is
// posted here from any thread and run when the host drains the queue on its loop.
//
// With no host loop attached the tasks wait in the queue: nothing runs them on the
// caller's thread behind the host's back. The queue holds at most max_pending() tasks;
// beyond that call() refuses the task and counts it in dropped(), so a host that never
// drains cannot make the process grow without bound.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace lib {

class MessCaller {
 public:
  using Task = std::function<void()>;
  using ErrorHandler = std::function<void(const std::string& message)>;

  explicit MessCaller(std::size_t max_pending = 10000) : max_pending_(max_pending) {}

  // Queues a task; false when the queue is full.
  bool call(Task task);

  // Runs the tasks queued before this call, in posting order, on the calling thread (the
  // host's main thread). Tasks posted while draining wait for the next drain. A task that
  // throws is reported to the error handler and the rest still run. Returns the count run.
  std::size_t run_pending();

  // The host says whether its loop drains the queue; informative for tools and status.
  void set_host_attached(bool attached);
  bool host_attached() const;

  void set_error_handler(ErrorHandler handler);

  std::size_t pending() const;
  std::size_t dropped() const;
  std::size_t max_pending() const { return max_pending_; }

 private:
  mutable std::mutex mutex_;
  std::deque<Task> queue_;
  std::size_t max_pending_;
  std::size_t dropped_ = 0;
  bool host_attached_ = false;
  ErrorHandler on_error_;
};

}  // namespace lib
