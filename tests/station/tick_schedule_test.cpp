// The tick schedule on a fake clock: a steady second, and what happens after a tick that
// took far longer than one (a bus outage where every address costs its time-out).
#include "station/tick_schedule.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fakes.h"

namespace {

using testing_support::FakeClock;

// Runs the loop the station runs, for `until_ms` of fake time: wait until due, tick (which
// costs what `cost` says for the n-th tick), report. Returns the start times of the ticks.
template <typename Cost>
std::vector<std::int64_t> run_loop(FakeClock& clock, station::TickSchedule& schedule,
                                   std::int64_t until_ms, Cost cost) {
  std::vector<std::int64_t> starts;
  while (clock.steady < until_ms) {
    if (const std::int64_t wait = schedule.wait_ms(); wait > 0) {
      clock.steady += wait;
      continue;
    }
    starts.push_back(clock.steady);
    clock.steady += cost(starts.size() - 1);
    schedule.tick_done();
  }
  return starts;
}

TEST(TickSchedule, AnOverrunIsFollowedByOneTickNotABurst) {
  FakeClock clock;
  station::TickSchedule schedule(clock);
  // The third tick hangs on a dead bus for 7.2 s.
  const auto starts =
      run_loop(clock, schedule, 12'000, [](std::size_t n) { return n == 2 ? 7'200 : 20; });
  // 2000 + 7200 = 9200: one late tick at once, then back on the whole seconds.
  EXPECT_EQ(starts, (std::vector<std::int64_t>{0, 1'000, 2'000, 9'200, 10'000, 11'000}));
  EXPECT_EQ(schedule.skipped(), 6u) << "the slots at 3..8 s were skipped, not replayed";
}

}  // namespace
