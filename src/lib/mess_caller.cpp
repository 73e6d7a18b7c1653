#include "lib/mess_caller.h"

#include <exception>

namespace lib {

bool MessCaller::call(Task task) {
  if (!task) return false;
  std::lock_guard lock(mutex_);
  if (queue_.size() >= max_pending_) {
    ++dropped_;
    return false;
  }
  queue_.push_back(std::move(task));
  return true;
}

std::size_t MessCaller::run_pending() {
  std::deque<Task> batch;
  ErrorHandler on_error;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
    on_error = on_error_;
  }
  std::size_t run = 0;
  for (auto& task : batch) {
    try {
      task();
    } catch (const std::exception& e) {
      if (on_error) on_error(std::string("main-thread task failed: ") + e.what());
    } catch (...) {
      if (on_error) on_error("main-thread task failed");
    }
    ++run;
  }
  return run;
}

void MessCaller::set_host_attached(bool attached) {
  std::lock_guard lock(mutex_);
  host_attached_ = attached;
}

bool MessCaller::host_attached() const {
  std::lock_guard lock(mutex_);
  return host_attached_;
}

void MessCaller::set_error_handler(ErrorHandler handler) {
  std::lock_guard lock(mutex_);
  on_error_ = std::move(handler);
}

std::size_t MessCaller::pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

std::size_t MessCaller::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace lib
