#include "office/web/login_limiter.h"

#include <algorithm>

namespace office::view {

LoginLimiter::LoginLimiter(lib::Clock& clock, int max_failures, int window_seconds)
    : clock_(clock), max_failures_(max_failures), window_ms_(std::int64_t{window_seconds} * 1000) {}

void LoginLimiter::forget_old(std::int64_t now) {
  for (auto it = failures_.begin(); it != failures_.end();) {
    auto& times = it->second;
    while (!times.empty() && now - times.front() >= window_ms_) times.pop_front();
    it = times.empty() ? failures_.erase(it) : std::next(it);
  }
  while (failures_.size() > kMaxKeys) {
    auto oldest = std::min_element(failures_.begin(), failures_.end(), [](auto& a, auto& b) {
      return a.second.back() < b.second.back();
    });
    failures_.erase(oldest);
  }
}

int LoginLimiter::wait_seconds(const std::string& key) {
  std::lock_guard lock(mutex_);
  const std::int64_t now = clock_.steady_ms();
  const auto it = failures_.find(key);
  if (it == failures_.end()) return 0;
  auto& times = it->second;
  while (!times.empty() && now - times.front() >= window_ms_) times.pop_front();
  if (static_cast<int>(times.size()) < max_failures_) return 0;
  const std::int64_t left = times.front() + window_ms_ - now;
  return static_cast<int>((left + 999) / 1000);
}

void LoginLimiter::failed(const std::string& key) {
  std::lock_guard lock(mutex_);
  const std::int64_t now = clock_.steady_ms();
  if (failures_.size() >= kMaxKeys) forget_old(now);
  auto& times = failures_[key];
  times.push_back(now);
  while (static_cast<int>(times.size()) > max_failures_) times.pop_front();
}

void LoginLimiter::succeeded(const std::string& key) {
  std::lock_guard lock(mutex_);
  failures_.erase(key);
}

}  // namespace office::view
