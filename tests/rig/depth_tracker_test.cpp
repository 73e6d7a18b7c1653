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

// From block 25 m, bit and bottom at 1000 m: block moves (up positive) with their hook loads.
TEST(DepthTracker, BlockMovesBecomeDepths) {
  const struct {
    const char* what;
    std::vector<std::pair<double, double>> moves;
    int reverse;
    Depths after;
    bool drilled;
  } cases[] = {
      {"a stand drilled on bottom", {{-5, 60}, {-10, 60}, {-10, 60}}, 1, {0, 1025, 1025}, true},
      {"picking up moves only the bit", {{3, 60}}, 1, {28, 997, 1000}, false},
      {"going back down does not drill", {{3, 60}, {-3, 60}}, 1, {25, 1000, 1000}, false},
      {"in the slips the block moves alone", {{-20, 60}, {20, 3}}, 1, {25, 1020, 1020}, false},
      {"the block stops at the top of its travel", {{10, 60}}, 1, {30, 995, 1000}, false},
      {"a reversed sensor counts the other way", {{2, 60}}, -1, {23, 1002, 1002}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    DepthTrackerSettings s = rig.tracker.settings();
    s.reverse = c.reverse;
    rig.tracker.set_settings(s);
    for (const auto& [metres, hook] : c.moves) rig.move(metres, hook);
    EXPECT_EQ(rig.tracker.depths(), c.after);
    EXPECT_EQ(rig.tracker.drilled(), c.drilled);
    EXPECT_EQ(rig.tracker.on_hook(), c.moves.back().second > 10);
  }
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
