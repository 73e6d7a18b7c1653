#include "calc/race_total.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "calc/race_total_format.h"
#include "lib/binary_stream.h"
#include "lib/serial_list.h"

using calc::RaceTotal;

namespace {

// A rig the test sets by hand; parameters without a table row have no average.
struct FakeRig : calc::RaceSource {
  double bit = 1000, bottom = 1000;
  std::int32_t op = 0;
  bool circulating = true;
  std::vector<std::string> ids{"нагрузка", "давление_на_входе", "вес_на_крюке", "плотность"};
  std::vector<double> averages{0, 0, 0, 0};
  std::vector<bool> in_table{true, true, true, false};
  double flow = 0, strokes = 0;
  std::int64_t now = 1'700'000'000;

  double bit_depth() const override { return bit; }
  double bottom_depth() const override { return bottom; }
  std::int32_t operation() const override { return op; }
  bool circulation_on() const override { return circulating; }
  int param_count() const override { return static_cast<int>(ids.size()); }
  std::string_view param_identifier(int i) const override {
    return ids[static_cast<std::size_t>(i)];
  }
  bool param_average(int i, double& a) const override {
    a = averages[static_cast<std::size_t>(i)];
    return in_table[static_cast<std::size_t>(i)];
  }
  double inlet_flow() const override { return flow; }
  double pump_strokes() const override { return strokes; }
  std::int64_t now_seconds() const override { return now; }
};

TEST(RaceTotal, TicksAreSortedByOperationAndTripDirection) {
  FakeRig rig;
  RaceTotal t(&rig);
  t.start();
  auto tick = [&](std::int32_t op, double bit, int n = 1) {
    rig.op = op;
    rig.bit = bit;
    for (int i = 0; i < n; ++i) t.calculate();
  };
  tick(2, 1000, 10);  // drilling
  tick(3, 1000, 4);   // reaming
  tick(4, 1000, 3);   // flushing
  tick(15, 990);      // tripping out: shallower
  tick(15, 980);
  tick(14, 985);    // tripping in: deeper
  tick(14, 985);    // tripping, standing
  tick(7, 985, 5);  // anything else
  // total, drilling, reaming, flushing, tripping (shallower, deeper), other, circulation
  EXPECT_EQ(std::make_tuple(t.total_ticks(), t.drilling_ticks(), t.reaming_ticks(),
                            t.flushing_ticks(), t.tripping_ticks(), t.tripping_shallower_ticks(),
                            t.tripping_deeper_ticks(), t.other_ticks(), t.circulation_ticks()),
            std::make_tuple(26, 10, 4, 3, 4, 2, 1, 5, 26));
  rig.circulating = false;
  t.calculate();
  EXPECT_EQ(t.circulation_ticks(), 26);
  EXPECT_DOUBLE_EQ(t.drill_time_hours(), 10 / 3600.0);
}

TEST(RaceTotal, FootageRateAndPumpedVolume) {
  FakeRig rig;
  rig.bottom = 1200;
  RaceTotal t(&rig);
  t.start();
  EXPECT_DOUBLE_EQ(t.get_race_start(), 1200);
  rig.flow = 30;      // l/s
  rig.strokes = 120;  // per tick
  rig.op = 2;
  for (int i = 0; i < 1800; ++i) {
    rig.bottom = 1200 + 0.01 * (i + 1);
    t.calculate();
  }
  EXPECT_NEAR(t.get_prohodka(), 18.0, 1e-9);
  EXPECT_NEAR(t.get_nasos_rastvor_volume(), 0.03 * 1800, 1e-9);
  EXPECT_NEAR(t.get_nasos_summ_strokes(), 0.001 * 120 * 1800, 1e-9);
  EXPECT_NEAR(t.average_rop(), 36.0, 1e-9) << "18 m in half an hour";
  rig.now += 1800;
  t.stop();
  EXPECT_NEAR(t.get_race_rate(), 36.0, 1e-9);

  // A new start clears the pumped volume, not the counters.
  t.start();
  EXPECT_EQ(t.get_nasos_rastvor_volume(), 0);
  EXPECT_EQ(t.get_nasos_summ_strokes(), 0);
  EXPECT_EQ(t.drilling_ticks(), 1800);
  t.clear_values();
  EXPECT_EQ(t.drilling_ticks(), 0);
  EXPECT_EQ(t.get_race_start(), 0);
}

TEST(RaceTotal, NoRateWithoutDurationAndNoNegativeFootage) {
  FakeRig rig;
  RaceTotal t(&rig);
  t.start();
  t.stop();
  EXPECT_EQ(t.get_race_rate(), 0) << "equal start and end times";
  rig.now -= 10;
  t.stop();
  EXPECT_EQ(t.get_race_rate(), 0);
  rig.bottom = 900;  // the bottom was corrected above the start
  t.calculate();
  EXPECT_EQ(t.get_prohodka(), 0);
  EXPECT_EQ(t.average_rop(), 0);
}

TEST(RaceTotal, AveragesSkipOffBottomLoadsAndCirculationValuesWithoutCirculation) {
  FakeRig rig;
  RaceTotal t(&rig);
  t.start();
  rig.averages = {0.005, 100, 80, 1.2};
  t.calculate();  // the load 0.005 is the bit off bottom
  rig.averages = {10, 110, 90, 1.2};
  t.calculate();
  rig.circulating = false;
  rig.averages = {20, 0, 70, 1.2};
  t.calculate();  // no circulation: the inlet pressure is not counted
  EXPECT_DOUBLE_EQ(t.get_aver_value("нагрузка"), 15);
  EXPECT_DOUBLE_EQ(t.get_aver_value("давление_на_входе"), 105);
  EXPECT_DOUBLE_EQ(t.get_aver_value("ВЕС_НА_КРЮКЕ"), 80);
  EXPECT_EQ(t.get_aver_value("плотность"), 0) << "no table row, never counted";
  EXPECT_EQ(t.get_aver_value("нет_такого"), 0);
}

TEST(RaceTotal, NumbersThatAreNotNumbersDoNotPoisonTheTotals) {
  FakeRig rig;
  RaceTotal t(&rig);
  t.start();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  rig.flow = nan;
  rig.strokes = nan;
  rig.averages = {nan, 5, 5, 5};
  rig.bottom = nan;
  t.calculate();
  EXPECT_EQ(t.get_nasos_rastvor_volume(), 0);
  EXPECT_EQ(t.get_nasos_summ_strokes(), 0);
  EXPECT_EQ(t.get_aver_value("нагрузка"), 0);
  EXPECT_EQ(t.get_prohodka(), 0);
  EXPECT_EQ(t.bottom_depth(), 1000);
}

std::string state_of(RaceTotal& t, unsigned data_version = 1) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, data_version);
  unsigned version = 0;
  t.get_serial_list(list, version);
  return out.data();
}

void read_state(RaceTotal& t, const std::string& bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, 1);
  unsigned version = calc::race_format::kStateVersion;
  t.get_serial_list(list, version);
}

TEST(RaceTotal, TheSavedStateFollowsItsLayoutAndComesBack) {
  FakeRig rig;
  rig.bottom = 1500;
  RaceTotal a(&rig);
  a.start();
  rig.op = 2;
  rig.flow = 20;
  rig.averages = {12, 100, 80, 1};
  for (int i = 0; i < 5; ++i) {
    rig.bottom += 0.5;
    a.calculate();
  }
  rig.op = 15;
  rig.bit = 900;
  a.calculate();
  rig.now += 100;
  a.stop();

  const std::string bytes = state_of(a);
  ASSERT_EQ(bytes.size(), calc::race_format::kHeadBytes + 4 +
                              4 * calc::race_format::kAccumulatorBytes +
                              calc::race_format::kTailBytes);
  double bottom = 0;
  std::int32_t drilling = 0, start_time = 0;
  std::memcpy(&bottom, bytes.data(), 8);
  std::memcpy(&drilling, bytes.data() + 28, 4);
  std::memcpy(&start_time, bytes.data() + 48, 4);
  EXPECT_EQ(bottom, 1502.5);
  EXPECT_EQ(drilling, 5);
  EXPECT_EQ(start_time, 1'700'000'000);

  RaceTotal b(&rig);
  read_state(b, bytes);
  EXPECT_EQ(b.drilling_ticks(), 5);
  EXPECT_EQ(b.tripping_shallower_ticks(), 1);
  EXPECT_DOUBLE_EQ(b.get_prohodka(), 2.5);
  EXPECT_DOUBLE_EQ(b.get_nasos_rastvor_volume(), a.get_nasos_rastvor_volume());
  EXPECT_DOUBLE_EQ(b.get_aver_value("нагрузка"), 12);
  EXPECT_EQ(b.get_race_rate(), a.get_race_rate());
  EXPECT_EQ(state_of(b), bytes);
  // The short frame leaves the averages out, and reading it keeps the averages held.
  const std::string short_frame = state_of(a, 0);
  EXPECT_EQ(short_frame.size(), calc::race_format::kHeadBytes + calc::race_format::kTailBytes);
  RaceTotal c(&rig);
  c.calculate();
  lib::io::BinaryMemoryInputStream in(short_frame);
  lib::serial_list list(in, 0);
  unsigned version = calc::race_format::kStateVersion;
  c.get_serial_list(list, version);
  EXPECT_EQ(c.drilling_ticks(), 5);
  EXPECT_DOUBLE_EQ(c.get_aver_value("вес_на_крюке"), 80);
}

TEST(RaceTotal, ADamagedStateLeavesTheTotalsAsTheyWere) {
  FakeRig rig;
  RaceTotal a(&rig);
  a.start();
  rig.op = 2;
  rig.averages = {12, 100, 80, 1};
  for (int i = 0; i < 7; ++i) a.calculate();
  const std::string good = state_of(a);

  std::string negative = good;
  negative[31] = '\x80';  // drilling ticks < 0
  std::string nan = good;
  const double not_a_number = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(nan.data() + 8, &not_a_number, 8);  // pumped volume
  std::string too_many = good;
  const std::uint32_t n = 513;
  std::memcpy(too_many.data() + 80, &n, 4);
  for (const std::string& bad : {negative, nan, too_many, good.substr(0, good.size() - 3)}) {
    RaceTotal t(&rig);
    t.start();
    rig.op = 3;
    t.calculate();
    EXPECT_THROW(read_state(t, bad), lib::io::StreamError);
    EXPECT_EQ(t.reaming_ticks(), 1);
    EXPECT_EQ(t.drilling_ticks(), 0);
    EXPECT_DOUBLE_EQ(t.get_aver_value("нагрузка"), 12);
    rig.op = 2;
  }
}

TEST(RaceTotal, CountersRestoredAtTheirLimitDoNotWrap) {
  FakeRig rig;
  RaceTotal a(&rig);
  std::string bytes = state_of(a);
  const std::int32_t max = std::numeric_limits<std::int32_t>::max();
  std::memcpy(bytes.data() + 32, &max, 4);  // total ticks
  read_state(a, bytes);
  a.calculate();
  EXPECT_EQ(a.total_ticks(), max);
}

}  // namespace
