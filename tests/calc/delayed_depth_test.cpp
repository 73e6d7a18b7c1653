#include "calc/delayed_depth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "calc/lag_queue_format.h"
#include "lib/binary_stream.h"
#include "lib/module_list.h"
#include "support/module_state.h"

using namespace calc;
using testing_support::load_state;
using testing_support::save_state;

namespace {

using Marks = std::deque<DelayedDepthTime>;

struct Tracker {
  double bottom = 0;
  std::vector<std::string> told;
  DelayedDepth dd{[this] { return bottom; }, [this](const std::string& m) { told.push_back(m); }};
};

TEST(DelayedDepth, AnEmptyQueueKeepsTheLagDepthAndTellsNoTime) {
  Tracker t;
  t.bottom = 1200;
  t.dd.clear();
  EXPECT_EQ(t.dd.get_value(), 1200.0);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), -1);
  t.bottom = 1300;
  t.dd.calc(1, 10);
  EXPECT_EQ(t.dd.get_value(), 1200.0);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), -1);
}

TEST(DelayedDepth, PumpedMarksSetTheLagDepthAndTheNextWholeMetreIsTimed) {
  Tracker t;
  t.dd.add_record({100.0f, 5});
  t.dd.add_record({100.5f, 12});
  t.dd.add_record({101.2f, 20});
  t.dd.process_records(6);
  t.dd.calc(1, 2);
  EXPECT_FLOAT_EQ(static_cast<float>(t.dd.get_value()), 100.0f);
  EXPECT_EQ(t.dd.records(), (Marks{{100.5f, 6}, {101.2f, 14}}));
  EXPECT_EQ(t.dd.get_time_to_depth_out(), 7) << "101.2 is the first mark past metre 100";

  // Several marks out in one call: the last one wins.
  t.dd.process_records(20);
  t.dd.calc(1, 2);
  EXPECT_FLOAT_EQ(static_cast<float>(t.dd.get_value()), 101.2f);
  EXPECT_TRUE(t.dd.records().empty());
  EXPECT_EQ(t.dd.get_time_to_depth_out(), -1);
}

TEST(DelayedDepth, WithoutFlowNoTimeIsToldButMarksStillComeOut) {
  for (float rate : {0.0f, 0.00005f, -3.0f}) {
    Tracker t;
    t.dd.add_record({50, 0});
    t.dd.add_record({51, 10});
    t.dd.add_record({52, 20});
    t.dd.calc(1, rate);
    EXPECT_EQ(t.dd.get_value(), 50.0) << rate;
    EXPECT_EQ(t.dd.get_time_to_depth_out(), -1) << rate;
  }
  Tracker t;
  t.dd.add_record({50, 1});
  t.dd.add_record({51, 10});
  t.dd.calc(1, 0.0001f);
  EXPECT_NEAR(t.dd.get_time_to_depth_out(), 100000, 1) << "0.0001 itself is a flow";
}

TEST(DelayedDepth, TheTimeCountsMarksInTheNextMultipleOfTheStep) {
  Tracker t;
  t.dd.add_record({100.2f, 1});
  t.dd.add_record({101.5f, 30});
  t.dd.add_record({102.3f, 50});
  t.dd.calc(2, 10);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), 5) << "101.5 is still in 100..102; 102.3 is not";
  t.dd.calc(1, 10);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), 3);
  t.dd.calc(0, 10);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), 3) << "a step below 1 counts as 1";
  t.dd.calc(5, 10);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), -1) << "all three are in 100..105";

  Tracker far;
  far.dd.add_record({1, 1});
  far.dd.add_record({2, 1e30f});
  far.dd.calc(1, 1);
  EXPECT_EQ(far.dd.get_time_to_depth_out(), std::numeric_limits<std::int32_t>::max());
}

TEST(DelayedDepth, InitZClearsOnlyAnEmptyQueue) {
  Tracker t;
  t.bottom = 800;
  t.dd.add_record({790, 100});
  t.dd.init_z();
  EXPECT_EQ(t.dd.records().size(), 1u);
  EXPECT_EQ(t.dd.get_value(), 0.0);
  t.dd.clear();
  EXPECT_TRUE(t.dd.records().empty());
  t.bottom = 805;
  t.dd.init_z();
  EXPECT_EQ(t.dd.get_value(), 805.0);
}

TEST(DelayedDepth, MudSamplesGoIntoBothQueues) {
  Tracker t;
  t.dd.add_depth(1500.5f);
  t.dd.add_depth(1501);
  for (int which : {0, 1}) {
    const DDRastvorItems& items = t.dd.rastvor_items(which);
    ASSERT_EQ(items.items.size(), 2u);
    EXPECT_EQ(items.items[0].depth, 1500.5f);
    EXPECT_EQ(items.items[0].value, 1500.5f);
    EXPECT_EQ(items.items[1].depth, 1501.0f);
  }
}

// Drilling a metre every 100 ticks at 30 l per tick through an annulus of 12 m³: every mark
// needs 400 ticks of pumping, so the lag depth trails the bottom by 400 ticks, and each time
// told comes true.
TEST(DelayedDepth, PumpingTheAnnulusVolumeBringsTheLagDepthToTheMark) {
  constexpr float kAnnulus = 12000;  // l
  constexpr float kFlow = 30;        // l per tick
  Tracker t;
  t.bottom = 1500;
  t.dd.clear();
  std::vector<int> out_tick(1510, -1);  // the tick each metre's mark came out
  int promised_tick = -1;
  for (int tick = 1; tick <= 1200; ++tick) {
    t.dd.process_records(kFlow);
    t.dd.calc(1, kFlow);
    const int metre = static_cast<int>(std::lround(t.dd.get_value()));
    if (out_tick[metre] < 0) out_tick[metre] = tick;
    if (tick == 250) promised_tick = tick + t.dd.get_time_to_depth_out();
    if (tick % 100 == 0) {
      t.bottom += 1;
      t.dd.add_record({static_cast<float>(t.bottom), kAnnulus});
    }
  }
  EXPECT_EQ(out_tick[1500], 1);
  EXPECT_EQ(out_tick[1501], 500) << "added at tick 100, 400 ticks of pumping";
  EXPECT_EQ(out_tick[1502], 600);
  EXPECT_EQ(out_tick[1508], 1200);
  // At tick 250 the next metre out is 1502, with 12000 - 50·30 l left: 350 ticks.
  EXPECT_EQ(promised_tick, 600);
  EXPECT_EQ(t.dd.get_value(), 1508.0);
  EXPECT_EQ(t.bottom, 1512.0);
}

// ---- saved state ------------------------------------------------------------------------------

TEST(DelayedDepthState, TheQueueSurvivesTheStateFile) {
  Tracker a;
  a.bottom = 2000;
  a.dd.clear();
  a.dd.add_record({2000.5f, 300});
  a.dd.add_record({2001.25f, 900.5f});
  a.dd.calc(1, 3);
  const std::string bytes = save_state(a.dd, lag_format::kFullFrame);

  Tracker b;
  const auto report = load_state(b.dd, bytes, nullptr, lag_format::kFullFrame);
  EXPECT_TRUE(report.clean());
  EXPECT_EQ(b.dd.get_value(), 2000.0);
  EXPECT_EQ(b.dd.get_time_to_depth_out(), 300);
  EXPECT_EQ(b.dd.records(), a.dd.records());
  EXPECT_TRUE(b.told.empty());

  // The short frame carries the lag depth and the time only.
  Tracker c;
  c.dd.add_record({5, 5});
  load_state(c.dd, save_state(a.dd, 0), nullptr, 0);
  EXPECT_EQ(c.dd.get_value(), 2000.0);
  EXPECT_EQ(c.dd.get_time_to_depth_out(), 300);
  EXPECT_EQ(c.dd.records(), (Marks{{5, 5}})) << "the short frame leaves the queue alone";
}

// A block payload written by hand: lag depth, time, the count claimed, then the marks given.
std::string payload(double value, std::int32_t time, std::uint32_t count,
                    const std::vector<DelayedDepthTime>& marks) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, lag_format::kFullFrame);
  list.add(value).add(time).add(count);
  for (DelayedDepthTime m : marks) list.add(m.depth).add(m.remaining_volume);
  return out.data();
}

void read_payload(DelayedDepth& dd, const std::string& bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, lag_format::kFullFrame);
  unsigned version = lag_format::kStateVersion;
  dd.get_serial_list(list, version);
}

TEST(DelayedDepthState, ACountLargerThanTheDataLoadsWhatIsThereAndSaysSo) {
  Tracker t;
  const std::string bytes = payload(1500.5, 42, 1000000, {{1501, 10}, {1502, 20}});
  EXPECT_EQ(bytes.size(),
            lag_format::kHeaderBytes + lag_format::kCountBytes + 2 * lag_format::kMarkBytes);
  read_payload(t.dd, bytes + "abc");  // and a cut-off third mark
  EXPECT_EQ(t.dd.get_value(), 1500.5);
  EXPECT_EQ(t.dd.get_time_to_depth_out(), 42);
  EXPECT_EQ(t.dd.records(), (Marks{{1501, 10}, {1502, 20}}));
  ASSERT_EQ(t.told.size(), 1u);
  EXPECT_NE(t.told[0].find("announces 1000000 mark(s) but holds data for 2"), std::string::npos)
      << t.told[0];
  EXPECT_NE(t.told[0].find("2 mark(s) restored"), std::string::npos) << t.told[0];

  // Marks that are not numbers are dropped, the others kept.
  Tracker n;
  read_payload(n.dd, payload(7, -1, 3, {{1, 1}, {std::nanf(""), 2}, {3, INFINITY}}));
  EXPECT_EQ(n.dd.records(), (Marks{{1, 1}}));
  ASSERT_EQ(n.told.size(), 1u);
  EXPECT_NE(n.told[0].find("2 of them are not numbers"), std::string::npos) << n.told[0];

  // A whole, honest block says nothing.
  Tracker ok;
  read_payload(ok.dd, payload(7, -1, 1, {{1, 1}}));
  EXPECT_TRUE(ok.told.empty());

  // Too short even for the lag depth: refused, the tracker keeps what it had.
  Tracker cut;
  cut.dd.add_record({9, 9});
  EXPECT_THROW(read_payload(cut.dd, payload(7, -1, 1, {}).substr(0, 6)), lib::io::StreamError);
  EXPECT_EQ(cut.dd.records(), (Marks{{9, 9}}));
}

}  // namespace
