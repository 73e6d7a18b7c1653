#include "calc/candle_counter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <list>
#include <string>
#include <vector>

#include "calc/candle_format.h"
#include "lib/binary_stream.h"
#include "lib/serial_list.h"

using candles::CandleCounter;
using candles::Item;
using candles::Range;

namespace {

constexpr float kZeroWeight = 10;
constexpr float kStroke = 36;  // three 12 m pipes a stand
constexpr int kPipes = 3;

// Drives a counter as the station does: one sample and one recognition step per tick.
struct Rig {
  CandleCounter cc;
  float block = 0;
  std::uint32_t t = 0;
  std::vector<std::string> log;
  int pipes = kPipes;
  Rig() {
    cc.set_log_sink([this](const std::string& l) { log.push_back(l); });
  }
  // Moves the block to `to` in steps of 0.5 m under `load`.
  void move(float to, float load) {
    const int n = std::max(1, static_cast<int>(std::lround(std::fabs(to - block) / 0.5f)));
    const float from = block;
    for (int i = 1; i <= n; ++i) sample(from + (to - from) * static_cast<float>(i) / n, load);
  }
  void hold(int ticks, float load) {
    for (int i = 0; i < ticks; ++i) sample(block, load);
  }
  void sample(float position, float load) {
    block = position;
    cc.add_item({load, position, t++});
    cc.calculate(kZeroWeight, kStroke, pipes);
  }
};

TEST(CandleCounter, APartialStandGoingInAddsWholePipesOnly) {
  Rig r;
  r.cc.set(10);
  r.block = 5;
  r.move(25, 5);  // empty block up 20 m
  r.move(0, 80);  // loaded down 25 m
  EXPECT_EQ(r.cc.get_last_direction(), 0) << "the run down is not a range until the reversal";
  r.move(3, 5);  // reversal upwards
  EXPECT_EQ(r.cc.get_last_direction(), +1);
  EXPECT_EQ(r.cc.get(), 10) << "25 m is less than a stand less half a pipe";
  EXPECT_EQ(r.cc.get_pipe(), 2) << "trunc(25 / 12)";
  // Measured from the start of the run's first step to the start of its last one.
  EXPECT_NEAR(r.cc.get_last_pipe_len(), 24.5, 1e-3);
  EXPECT_FALSE(r.cc.get_last_range().up);
  EXPECT_TRUE(r.cc.get_last_range().loaded);
  EXPECT_FLOAT_EQ(r.cc.get_last_range().weight, 80);
  // Its two log lines name the run's samples.
  ASSERT_GE(r.log.size(), 1u);
  EXPECT_EQ(r.log[0].rfind(" index1=", 0), 0u) << r.log[0];
}

TEST(CandleCounter, EachStandOfATripCountsOnceAndPipesCarryIntoStands) {
  Rig r;
  r.cc.set(20);
  r.block = 34;
  for (int stand = 0; stand < 4; ++stand) {
    r.move(2, 5);
    r.hold(5, 5);
    r.move(34, 80);
    r.hold(5, 80);
  }
  r.move(20, 5);
  EXPECT_EQ(r.cc.get(), 16);

  // Going in with partial runs of 25 m: 2 pipes, then 2 more make a stand and a pipe.
  Rig in;
  in.block = 0;
  in.move(26, 5);
  in.move(1, 80);
  in.move(26, 5);
  in.move(1, 80);
  in.move(10, 5);
  EXPECT_EQ(in.cc.get(), 1);
  EXPECT_EQ(in.cc.get_pipe(), 1);
}

TEST(CandleCounter, WorkingThePipeAndNoiseFormNoRanges) {
  Rig r;
  r.cc.set(5);
  r.block = 10;
  // Working the pipe: 6 m strokes up and down, loaded and not.
  for (int i = 0; i < 10; ++i) {
    r.move(16, i % 2 ? 80 : 5);
    r.move(10, i % 2 ? 5 : 80);
  }
  // Noise: jitter under a centimetre and 1.5 m wobbles.
  for (int i = 0; i < 50; ++i) r.sample(10 + (i % 2) * 0.005f, 80);
  for (int i = 0; i < 10; ++i) {
    r.move(11.5f, 80);
    r.move(10, 5);
  }
  std::list<Range> ranges;
  r.cc.calc_ranges(ranges, kZeroWeight);
  EXPECT_TRUE(ranges.empty());
  EXPECT_EQ(r.cc.get(), 5);
  EXPECT_EQ(r.cc.get_pipe(), 0);
  EXPECT_EQ(r.cc.get_last_direction(), 0);
}

TEST(CandleCounter, ShortRunsAreStandingStillInTheSteps) {
  CandleCounter cc;
  for (float p : {0.0f, 0.005f, 1.0f, 2.0f, 3.0f, 4.0f, 2.0f, 0.0f}) cc.add_item({1, p, 0});
  std::vector<int> steps;
  cc.calc_velocity(steps);
  // 0→0.005 is under a centimetre; the rise to 4 m stays, the fall is the last run.
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 1, 1, 1, -1, -1}));
  CandleCounter wobble;
  for (float p : {0.0f, 1.0f, 1.9f, 1.0f, 3.0f}) wobble.add_item({1, p, 0});
  wobble.calc_velocity(steps);
  EXPECT_EQ(steps, (std::vector<int>{0, 0, 0, 1})) << "a 1.9 m rise and its dip are noise";
}

TEST(CandleCounter, NoStandsCanComeOutOfAnEmptyHole) {
  Rig r;
  r.block = 34;
  r.move(2, 5);
  r.move(34, 80);
  r.move(20, 5);
  EXPECT_EQ(r.cc.get_last_direction(), -1);
  EXPECT_EQ(r.cc.get(), 0);
  EXPECT_GE(r.cc.get_pipe(), 0);
}

TEST(CandleCounter, WithoutPipesPerStandNothingIsCountedAndNothingFails) {
  for (int pipes : {0, -2}) {
    Rig r;
    r.pipes = pipes;
    r.cc.set(10);
    r.block = 5;
    r.move(25, 5);
    r.move(0, 80);
    r.move(3, 5);
    EXPECT_EQ(r.cc.get_last_direction(), +1) << pipes;
    EXPECT_EQ(r.cc.get(), 10) << pipes;
    EXPECT_EQ(r.cc.get_pipe(), 0) << pipes;
    EXPECT_EQ(r.cc.get_pipes_per_stand(), pipes);
  }
}

TEST(CandleCounter, TheHistoryIsBoundedAndRefusesSamplesThatAreNotNumbers) {
  CandleCounter cc;
  for (std::uint32_t i = 0; i < CandleCounter::kMaxItems; ++i) ASSERT_TRUE(cc.add_item({1, 0, i}));
  EXPECT_EQ(cc.items().front().time, 0u);
  cc.add_item({1, 0, 900});
  EXPECT_EQ(cc.items().size(), CandleCounter::kMaxItems);
  EXPECT_EQ(cc.items().front().time, 1u);
  EXPECT_EQ(cc.items().back().time, 900u);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(cc.add_item({nan, 3, 901}));
  EXPECT_FALSE(cc.add_item({80, std::numeric_limits<float>::infinity(), 902}));
  EXPECT_EQ(cc.items().back().time, 900u);
}

TEST(CandleCounter, AHookLoadLostMidTripKeepsTheCountAndCountingGoesOn) {
  Rig r;
  r.cc.set(10);
  r.block = 34;
  r.move(2, 5);
  r.move(34, 80);
  r.move(25, 5);
  ASSERT_EQ(r.cc.get(), 9);
  // The load reads NaN for a while: the samples are refused, the count stays.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int i = 0; i < 30; ++i) {
    EXPECT_FALSE(r.cc.add_item({nan, 25, r.t++}));
    r.cc.calculate(kZeroWeight, kStroke, kPipes);
  }
  EXPECT_EQ(r.cc.get(), 9);
  r.move(2, 5);
  r.move(34, 80);
  r.move(25, 5);
  EXPECT_EQ(r.cc.get(), 8);
}

TEST(CandleCounter, PatternsMatchTheLastRangesInOrder) {
  std::list<Range> ranges(3);
  auto it = ranges.begin();
  it->loaded = true;
  (++it)->up = false;  // unloaded, down
  (++it)->loaded = true;
  it->up = true;  // loaded, up
  const bool out[4] = {false, false, true, true};
  const bool in[4] = {false, true, true, false};
  EXPECT_TRUE(CandleCounter::check_situation(ranges, out, 2));
  EXPECT_FALSE(CandleCounter::check_situation(ranges, in, 2));
  EXPECT_FALSE(CandleCounter::check_situation(std::list<Range>(1), out, 2));
}

TEST(CandleCounter, TheLoadRangeSkipsThePickUpAndTheSetDown) {
  CandleCounter cc;
  // Loads along a run: rising front, plateau 50..58, falling tail.
  const std::vector<float> loads{5, 20, 40, 55, 50, 58, 52, 56, 30, 10, 5};
  for (std::size_t i = 0; i < loads.size(); ++i)
    cc.add_item({loads[i], static_cast<float>(i), static_cast<std::uint32_t>(i)});
  Range r;
  r.first = 0;
  r.last = 10;
  cc.calc_range_minmax(r);
  EXPECT_FLOAT_EQ(r.min_weight, 50);
  EXPECT_FLOAT_EQ(r.max_weight, 58);
}

std::string state_of(CandleCounter& cc) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, 1);
  unsigned version = 0;
  cc.get_serial_list(list, version);
  return out.data();
}

void read_state(CandleCounter& cc, const std::string& bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, 1);
  unsigned version = candles::format::kStateVersion;
  cc.get_serial_list(list, version);
}

TEST(CandleCounter, SavedCountsComeBackAndDamagedOnesAreRefused) {
  CandleCounter a;
  a.set(42);
  a.set_pipe(2);
  const std::string bytes = state_of(a);
  ASSERT_EQ(bytes.size(), candles::format::kBytes);
  CandleCounter b;
  read_state(b, bytes);
  EXPECT_EQ(b.get(), 42);
  EXPECT_EQ(b.get_pipe(), 2);

  std::string negative = bytes;
  negative[3] = '\xff';  // stands < 0
  std::string huge = bytes;
  huge[6] = '\x7f';  // pipes far beyond any string
  for (const std::string& bad : {negative, huge, bytes.substr(0, 6)}) {
    CandleCounter c;
    c.set(5);
    c.set_pipe(1);
    EXPECT_THROW(read_state(c, bad), lib::io::StreamError);
    EXPECT_EQ(c.get(), 5);
    EXPECT_EQ(c.get_pipe(), 1);
  }
}

}  // namespace
