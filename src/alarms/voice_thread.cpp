#include "alarms/voice_thread.h"

#include <chrono>
#include <utility>

namespace alarms {

VoiceThread::VoiceThread(lib::AudioOutput& audio, lib::Clock& clock, lib::FileSystem& fs)
    : audio_(audio), clock_(clock), fs_(fs) {}

VoiceThread::~VoiceThread() {
  terminate();
}

void VoiceThread::set_path(std::string folder) {
  std::lock_guard guard(mutex_);
  folder_ = std::move(folder);
}

std::string VoiceThread::path() {
  std::lock_guard guard(mutex_);
  return folder_;
}

std::vector<std::string> VoiceThread::to_files(const std::vector<std::string>& words) {
  const std::string folder = path();
  std::vector<std::string> files;
  files.reserve(words.size());
  for (const auto& w : words) files.push_back(folder + w + ".wav");
  return files;
}

std::vector<std::string> VoiceThread::missing_files(const std::vector<std::string>& words) {
  std::vector<std::string> missing;
  for (const auto& f : to_files(words))
    if (!lib::exists(fs_, f)) missing.push_back(f);
  return missing;
}

std::deque<VoiceThread::PlayItem>& VoiceThread::queue_of(Queue queue) {
  switch (queue) {
    case Queue::kAlarms:
      return alarms_;
    case Queue::kNotifications:
      return notifications_;
    case Queue::kOperations:
      break;
  }
  return operations_;
}

bool VoiceThread::queue_phrase(Queue queue, const std::vector<std::string>& words, bool check_files,
                               bool replace) {
  std::vector<std::string> files = to_files(words);
  if (check_files) {
    for (const auto& f : files)
      if (!lib::exists(fs_, f)) return false;
  }
  if (replace) {
    std::lock_guard guard(mutex_);
    queue_of(queue).clear();
  }
  play(queue, std::move(files));
  return true;
}

bool VoiceThread::process_alarms(const std::vector<std::string>& words, bool check_files) {
  return queue_phrase(Queue::kAlarms, words, check_files, false);
}

bool VoiceThread::process_notification(const std::string& words, bool check_files) {
  std::vector<std::string> list;
  std::size_t from = 0;
  while (from <= words.size()) {
    const std::size_t comma = words.find(',', from);
    const std::size_t end = comma == std::string::npos ? words.size() : comma;
    if (end > from) list.push_back(words.substr(from, end - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return queue_phrase(Queue::kNotifications, list, check_files, true);
}

bool VoiceThread::process_operations(const std::vector<std::string>& words, bool check_files) {
  return queue_phrase(Queue::kOperations, words, check_files, true);
}

void VoiceThread::play(Queue queue, std::vector<std::string> files) {
  {
    std::lock_guard guard(mutex_);
    PlayItem item;
    item.files = std::move(files);
    item.tick = static_cast<std::uint32_t>(clock_.steady_ms());
    queue_of(queue).push_back(std::move(item));
  }
  wake_.notify_one();
}

bool VoiceThread::run_once() {
  PlayItem item;
  bool found = false;
  {
    std::lock_guard guard(mutex_);
    playing_ = false;
    const auto now = static_cast<std::uint32_t>(clock_.steady_ms());
    for (auto* q : {&alarms_, &notifications_, &operations_}) {
      while (!found && !q->empty()) {
        PlayItem front = std::move(q->front());
        q->pop_front();
        // Unsigned difference: right across the 32-bit wrap of the tick count.
        if (static_cast<std::uint32_t>(now - front.tick) < front.time_to_live) {
          item = std::move(front);
          found = true;
          playing_ = true;
        }
      }
      if (found) break;
    }
  }
  if (!found) return false;
  for (const auto& file : item.files) {
    if (terminated_) break;
    audio_.play_file(file);
  }
  return true;
}

void VoiceThread::execute() {
  while (!terminated_) {
    if (run_once()) continue;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(kVoiceIdleMs), [this] {
      return terminated_ || !alarms_.empty() || !notifications_.empty() || !operations_.empty();
    });
  }
}

void VoiceThread::start() {
  if (thread_.joinable()) return;
  terminated_ = false;
  thread_ = std::thread([this] { execute(); });
}

void VoiceThread::terminate() {
  terminated_ = true;
  wake_.notify_all();
  audio_.stop();
  if (thread_.joinable()) thread_.join();
}

void VoiceThread::stop_all() {
  std::lock_guard guard(mutex_);
  audio_.stop();
}

bool VoiceThread::playing() {
  std::lock_guard guard(mutex_);
  return playing_;
}

std::size_t VoiceThread::queued(Queue queue) {
  std::lock_guard guard(mutex_);
  return queue_of(queue).size();
}

}  // namespace alarms
