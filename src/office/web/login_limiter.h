// Holds back password guessing: failed logins are counted per key (the client's address,
// the account's name), and once a key has `max_failures` within `window_seconds` further
// attempts for it are refused until the oldest of them leaves the window. A success clears
// its keys. Thread-safe.
//
// Memory stays bounded: keys whose failures have all left the window are dropped as new
// ones come, and past kMaxKeys the ones that failed longest ago go first.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "lib/date_time.h"

namespace office::view {

class LoginLimiter {
 public:
  static constexpr std::size_t kMaxKeys = 100000;

  LoginLimiter(lib::Clock& clock, int max_failures, int window_seconds);

  // Seconds until `key` may try again; 0 when it may now.
  int wait_seconds(const std::string& key);
  void failed(const std::string& key);
  void succeeded(const std::string& key);

 private:
  void forget_old(std::int64_t now);

  lib::Clock& clock_;
  int max_failures_;
  std::int64_t window_ms_;
  std::mutex mutex_;
  std::map<std::string, std::deque<std::int64_t>> failures_;  // key -> times (steady ms)
};

}  // namespace office::view
