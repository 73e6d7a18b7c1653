// How the office link paces itself on a rig's connection: the waits between attempts to
// reach the office after a failure, and a cap on the rate it sends at. Both count on the
// caller's steady clock (milliseconds), so tests drive them without waiting.
#pragma once

#include <cstdint>

namespace office {

// Waits that double after each failed attempt, from kFirstMs up to kMaxMs, and start over
// once an attempt succeeds.
class Backoff {
 public:
  static constexpr std::int64_t kFirstMs = 1000;
  static constexpr std::int64_t kMaxMs = 60000;
  // The wait before the next attempt, after one more failure.
  std::int64_t failed();
  void succeeded() { next_ = kFirstMs; }

 private:
  std::int64_t next_ = kFirstMs;
};

// Keeps the average rate of what is sent at or below a cap: each send of n bytes takes the
// link for n * 8 / cap seconds, and the next send waits until that time has passed. A cap
// of 0 means none.
class RateCap {
 public:
  explicit RateCap(std::int64_t bits_per_second = 0) : bps_(bits_per_second) {}
  std::int64_t bits_per_second() const { return bps_; }
  // How long to wait at `now_ms` before the next send may start.
  std::int64_t wait_ms(std::int64_t now_ms) const;
  // `bytes` were sent at `now_ms`.
  void spent(std::int64_t now_ms, std::uint64_t bytes);
  // The bytes that take the link for about `seconds` at the cap (0 without a cap).
  std::uint64_t bytes_in(double seconds) const;

 private:
  std::int64_t bps_;
  double busy_until_ms_ = 0;
};

}  // namespace office
