#include "rig/depth_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using rig::Depths;
using rig::DepthTracker;
using rig::DepthTrackerSettings;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// 20 pulses per metre everywhere, upward pulses raise the block.
struct Rig {
  std::vector<std::string> log;
  DepthTracker tracker{[](std::int64_t pulses, double) { return pulses / 20.0; },
                       [this](const std::string& m) { log.push_back(m); }};
  std::int64_t count = 0;

  Rig() {
    DepthTrackerSettings s;
    s.zero_weight = 10;
    s.block_low = 0;
    s.block_high = 30;
    tracker.set_settings(s);
    tracker.restore({.block = 25, .bit = 1000, .bottom = 1000});
    tracker.tick(count, 60);  // the first count only takes the baseline
  }
  // Moves the block by `metres` (positive up) with the given hook load.
  void move(double metres, double hook = 60) {
    count += static_cast<std::int64_t>(std::lround(metres * 20));
    tracker.tick(count, hook);
  }
};

TEST(DepthTracker, DrillingAStandMovesTheBottomByTheBlockTravel) {
  Rig rig;
  rig.move(-5);  // bit on bottom, block lowered 5 m: 5 m drilled
  EXPECT_TRUE(rig.tracker.drilled());
  for (int i = 0; i < 10; ++i) rig.move(-2);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().block, 0.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1025.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bit, 1025.0);
}

TEST(DepthTracker, PickingUpMovesOnlyTheBitAndGoingBackDoesNotDrill) {
  Rig rig;
  rig.move(3);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bit, 997.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1000.0);
  rig.move(-3);
  EXPECT_FALSE(rig.tracker.drilled());
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bit, 1000.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1000.0);
}

TEST(DepthTracker, InTheSlipsTheBlockMovesAloneAsInAConnection) {
  Rig rig;
  rig.move(-20);             // drilled 20 m
  rig.move(20, /*hook=*/3);  // in the slips: block back up for the next stand
  EXPECT_DOUBLE_EQ(rig.tracker.depths().block, 25.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bit, 1020.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1020.0);
  EXPECT_FALSE(rig.tracker.on_hook());
}

TEST(DepthTracker, BlockStaysWithinItsTravelAndTheBitFollowsOnlyWhatTheBlockDid) {
  Rig rig;
  rig.move(10);  // 5 m to the top, then stopped there
  EXPECT_DOUBLE_EQ(rig.tracker.depths().block, 30.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bit, 995.0);
}

TEST(DepthTracker, ReversedSensorCountsTheOtherWay) {
  Rig rig;
  DepthTrackerSettings s = rig.tracker.settings();
  s.reverse = -1;
  rig.tracker.set_settings(s);
  rig.move(2);  // the sensor counts up, but reversed: the block goes down 2 m
  EXPECT_DOUBLE_EQ(rig.tracker.depths().block, 23.0);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1002.0);
}

TEST(DepthTracker, GarbageNeverMovesADepthAndIsToldOnce) {
  Rig rig;
  const Depths before = rig.tracker.depths();
  // A counter reset: a jump far beyond the block's travel, twice in a row.
  rig.count += 1'000'000;
  rig.tracker.tick(rig.count, 60);
  rig.count -= 2'000'000;
  rig.tracker.tick(rig.count, 60);
  EXPECT_EQ(rig.tracker.depths(), before);
  ASSERT_EQ(rig.log.size(), 1u);
  EXPECT_NE(rig.log[0].find("jumped"), std::string::npos) << rig.log[0];
  // The count after a jump is the new baseline: movement from there counts again.
  rig.move(-1);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1001.0);

  // A hook load that is no number keeps the last state (on the hook) and is told once.
  rig.move(-1, kNaN);
  rig.move(-1, kNaN);
  EXPECT_DOUBLE_EQ(rig.tracker.depths().bottom, 1003.0);
  EXPECT_EQ(rig.log.size(), 2u);

  // A calculator that gives no number (no coefficient) moves nothing.
  DepthTracker broken([](std::int64_t, double) { return kNaN; },
                      [&](const std::string& m) { rig.log.push_back(m); });
  broken.restore({.block = 10, .bit = 50, .bottom = 50});
  broken.tick(0, 60);
  broken.tick(100, 60);
  broken.tick(200, 60);
  EXPECT_EQ(broken.depths(), (Depths{.block = 10, .bit = 50, .bottom = 50}));
  EXPECT_EQ(rig.log.size(), 3u);
}

TEST(DepthTracker, OperatorCorrectionsAreCheckedAndLogged) {
  Rig rig;
  EXPECT_FALSE(rig.tracker.set_bit(1200));  // below the bottom
  EXPECT_FALSE(rig.tracker.set_bottom(-3));
  EXPECT_FALSE(rig.tracker.set_bottom(kNaN));
  EXPECT_FALSE(rig.tracker.set_block(31));
  EXPECT_EQ(rig.tracker.depths(), (Depths{.block = 25, .bit = 1000, .bottom = 1000}));
  EXPECT_TRUE(rig.tracker.set_bottom(900));  // the bit comes up with it
  EXPECT_EQ(rig.tracker.depths(), (Depths{.block = 25, .bit = 900, .bottom = 900}));
  EXPECT_TRUE(rig.tracker.set_bottom(1500));
  EXPECT_TRUE(rig.tracker.set_bit(1450));
  EXPECT_TRUE(rig.tracker.set_block(3.5));
  EXPECT_EQ(rig.tracker.depths(), (Depths{.block = 3.5, .bit = 1450, .bottom = 1500}));
  EXPECT_EQ(rig.log.size(), 8u);
  EXPECT_NE(rig.log.back().find("3.50"), std::string::npos);
}

}  // namespace
