#include "rig/lag_feeder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using rig::LagFeeder;
using rig::LagSettings;

namespace {

struct Queue {
  std::vector<std::pair<double, double>> marks;  // depth, remaining
  double pumped = 0, rate = 0;
  std::vector<std::string> log;
  LagFeeder feeder{[this](double d, double r) { marks.emplace_back(d, r); },
                   [this](double p, double r) {
                     pumped += p;
                     rate = r;
                   },
                   // 0.01 m³ of annulus per metre of hole
                   [](double depth) { return depth * 0.01; },
                   [this](const std::string& m) { log.push_back(m); }};
};

TEST(LagFeeder, MarksEachDepthStepWithTheAnnulusVolumeThere) {
  Queue q;
  q.feeder.set_settings({.depth_step = 0.5});
  q.feeder.tick(1000.0, 1, 0, false);  // the first tick only takes the bottom
  EXPECT_TRUE(q.marks.empty());
  q.feeder.tick(1001.2, 1, 0, false);
  ASSERT_EQ(q.marks.size(), 2u);
  EXPECT_DOUBLE_EQ(q.marks[0].first, 1000.5);
  EXPECT_DOUBLE_EQ(q.marks[0].second, 10.005);
  EXPECT_DOUBLE_EQ(q.marks[1].first, 1001.0);
  q.feeder.tick(1001.4, 1, 0, false);
  EXPECT_EQ(q.marks.size(), 2u);
  q.feeder.tick(1001.5, 1, 0, false);
  EXPECT_EQ(q.marks.size(), 3u);
  // The bottom corrected upwards: marks start again from there, none for the way back down.
  q.feeder.rebase(900);
  q.feeder.tick(900.4, 1, 0, false);
  EXPECT_EQ(q.marks.size(), 3u);
  q.feeder.tick(900.5, 1, 0, false);
  ASSERT_EQ(q.marks.size(), 4u);
  EXPECT_DOUBLE_EQ(q.marks.back().first, 900.5);
}

TEST(LagFeeder, PumpedVolumeIsFlowTimesTime) {
  Queue q;
  q.feeder.set_settings({.depth_step = 1});
  q.feeder.tick(100, 60, 1200, true);  // 1200 l/min for a minute: 1.2 m³
  EXPECT_NEAR(q.pumped, 1.2, 1e-12);
  EXPECT_NEAR(q.rate, 0.02, 1e-12);    // m³/s
  q.feeder.tick(100, 60, -50, false);  // a negative flow pumps nothing
  EXPECT_NEAR(q.pumped, 1.2, 1e-12);
}

TEST(LagFeeder, ByTimeMarksCarrySecondsAndOnlyPumpingCounts) {
  Queue q;
  q.feeder.set_settings(
      {.depth_step = 1, .by_time = true, .lag_seconds = 600, .lag_seconds_per_100m = 30});
  EXPECT_DOUBLE_EQ(q.feeder.remaining_for(2000), 1200);
  q.feeder.tick(2000, 1, 0, false);
  q.feeder.tick(2001, 5, 0, false);
  EXPECT_DOUBLE_EQ(q.pumped, 0);
  q.feeder.tick(2001, 5, 0, true);
  EXPECT_DOUBLE_EQ(q.pumped, 5);
  ASSERT_EQ(q.marks.size(), 1u);
  EXPECT_DOUBLE_EQ(q.marks[0].second, 1200.3);
}

TEST(LagFeeder, AbsurdInputIsBoundedAndTold) {
  Queue q;
  q.feeder.set_settings({.depth_step = 0});  // no step: told, and a metre is used
  ASSERT_EQ(q.log.size(), 1u);
  EXPECT_DOUBLE_EQ(q.feeder.settings().depth_step, 1.0);
  q.feeder.tick(0, 1, 0, false);
  q.feeder.tick(14000, 1, 0, false);  // a bottom set far down in one go
  EXPECT_EQ(q.marks.size(), static_cast<std::size_t>(LagFeeder::kMaxMarksPerTick));
  EXPECT_EQ(q.log.size(), 2u);
  EXPECT_DOUBLE_EQ(q.feeder.last_mark(), 14000);
  q.feeder.tick(14000, -1, 1000, true);  // time running backwards pumps nothing
  EXPECT_DOUBLE_EQ(q.pumped, 0);
}

}  // namespace
