#include "storage/values_writer_deque.h"

#include <algorithm>

namespace rtf {

bool ValuesWriterDeque::push(std::shared_ptr<const Records>&& task) {
  const std::size_t n = task->memory_bytes();
  {
    std::lock_guard lock(mutex_);
    if (bytes_ + n > max_bytes_) {
      ++refused_;
      return false;
    }
    tasks_.push_back(std::move(task));
    task_bytes_.push_back(n);
    bytes_ += n;
    if (held_ || waiting_ == 0) return true;  // a notification costs a lock: only for a waiter
  }
  changed_.notify_all();
  return true;
}

void ValuesWriterDeque::hold_wakeups() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void ValuesWriterDeque::release_wakeups() {
  std::lock_guard lock(mutex_);
  held_ = false;
}

std::shared_ptr<const Records> ValuesWriterDeque::oldest() const {
  std::lock_guard lock(mutex_);
  return tasks_.empty() ? nullptr : tasks_.front();
}

void ValuesWriterDeque::oldest_of_one_file(std::size_t max,
                                           std::vector<std::shared_ptr<const Records>>& out) const {
  out.clear();
  std::lock_guard lock(mutex_);
  for (const auto& task : tasks_) {
    if (out.size() >= max || (!out.empty() && task->file != out.front()->file)) break;
    out.push_back(task);
  }
}

std::vector<std::shared_ptr<const Records>> ValuesWriterDeque::oldest_of_one_file(
    std::size_t max) const {
  std::vector<std::shared_ptr<const Records>> out;
  oldest_of_one_file(max, out);
  return out;
}

void ValuesWriterDeque::pop_oldest(std::size_t n) {
  {
    std::lock_guard lock(mutex_);
    for (; n > 0 && !tasks_.empty(); --n) {
      tasks_.pop_front();
      bytes_ -= task_bytes_.front();
      task_bytes_.pop_front();
    }
    if (waiting_ == 0) return;
  }
  changed_.notify_all();
}

std::size_t ValuesWriterDeque::size() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

std::size_t ValuesWriterDeque::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::uint64_t ValuesWriterDeque::refused() const {
  std::lock_guard lock(mutex_);
  return refused_;
}

ValuesWriterDequeFileData ValuesWriterDeque::file_data(const std::string& file) const {
  std::lock_guard lock(mutex_);
  auto it = files_.find(file);
  return it == files_.end() ? ValuesWriterDequeFileData{} : it->second;
}

void ValuesWriterDeque::set_file_data(const std::string& file, ValuesWriterDequeFileData data) {
  std::lock_guard lock(mutex_);
  files_[file] = std::move(data);
}

void ValuesWriterDeque::forget_file(const std::string& file) {
  std::lock_guard lock(mutex_);
  files_.erase(file);
}

bool ValuesWriterDeque::wait_for_task(std::stop_token stop, std::chrono::milliseconds at_most) {
  std::unique_lock lock(mutex_);
  ++waiting_;
  changed_.wait_for(lock, stop, at_most, [&] { return !tasks_.empty(); });
  --waiting_;
  return !tasks_.empty();
}

bool ValuesWriterDeque::wait_or_stop(std::stop_token stop, std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  ++waiting_;
  changed_.wait_for(lock, stop, time, [] { return false; });
  --waiting_;
  return stop.stop_requested();
}

bool ValuesWriterDeque::wait_until_empty(std::chrono::milliseconds at_most) {
  std::unique_lock lock(mutex_);
  ++waiting_;
  const bool empty = changed_.wait_for(lock, at_most, [&] { return tasks_.empty(); });
  --waiting_;
  return empty;
}

}  // namespace rtf
