// When the next data tick is due. Ticks come once a period on a monotonic clock; a tick that
// ran late (a bus outage costs every address its time-out) is followed by one tick at once
// and the slots it overran are skipped, never replayed back to back: a burst of ticks would
// count one second of drilling several times over.
#pragma once

#include <cstdint>

#include "lib/date_time.h"

namespace station {

class TickSchedule {
 public:
  static constexpr std::int64_t kDefaultPeriodMs = 1000;

  // The first tick is due at once.
  explicit TickSchedule(lib::Clock& clock, std::int64_t period_ms = kDefaultPeriodMs);

  // Milliseconds until the next tick is due; 0 when it is due now.
  std::int64_t wait_ms() const;
  // Call after each tick: the next one is due a period after the slot just used, or at
  // once when that moment has passed, with the whole periods missed meanwhile skipped.
  void tick_done();
  // Slots skipped so far because a tick overran them.
  std::uint64_t skipped() const { return skipped_; }
  std::int64_t period_ms() const { return period_ms_; }

 private:
  lib::Clock& clock_;
  std::int64_t period_ms_;
  std::int64_t next_ms_;
  std::uint64_t skipped_ = 0;
};

}  // namespace station
