#include "station/tick_schedule.h"

#include <algorithm>

namespace station {

TickSchedule::TickSchedule(lib::Clock& clock, std::int64_t period_ms)
    : clock_(clock),
      period_ms_(std::max<std::int64_t>(period_ms, 1)),
      next_ms_(clock.steady_ms()) {}

std::int64_t TickSchedule::wait_ms() const {
  return std::max<std::int64_t>(next_ms_ - clock_.steady_ms(), 0);
}

void TickSchedule::tick_done() {
  next_ms_ += period_ms_;
  const std::int64_t now = clock_.steady_ms();
  if (now <= next_ms_) return;
  // Late: the slot at next_ms_ runs now; the whole periods behind it are gone.
  const std::int64_t missed = (now - next_ms_) / period_ms_;
  next_ms_ += missed * period_ms_;
  skipped_ += static_cast<std::uint64_t>(missed);
}

}  // namespace station
