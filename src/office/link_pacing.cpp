#include "office/link_pacing.h"

#include <algorithm>
#include <cmath>

namespace office {

std::int64_t Backoff::failed() {
  const std::int64_t wait = next_;
  next_ = std::min(next_ * 2, kMaxMs);
  return wait;
}

std::int64_t RateCap::wait_ms(std::int64_t now_ms) const {
  if (bps_ <= 0) return 0;
  return std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(busy_until_ms_)) - now_ms);
}

void RateCap::spent(std::int64_t now_ms, std::uint64_t bytes) {
  if (bps_ <= 0) return;
  busy_until_ms_ = std::max(busy_until_ms_, static_cast<double>(now_ms)) +
                   static_cast<double>(bytes) * 8000.0 / static_cast<double>(bps_);
}

std::uint64_t RateCap::bytes_in(double seconds) const {
  if (bps_ <= 0) return 0;
  return static_cast<std::uint64_t>(static_cast<double>(bps_) / 8.0 * seconds);
}

}  // namespace office
