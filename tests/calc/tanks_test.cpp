#include "calc/tanks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "calc/tanks_format.h"
#include "lib/binary_stream.h"
#include "lib/ini_file.h"
#include "lib/serial_list.h"
#include "support/error_of.h"

using namespace calc;
using testing::AllOf;
using testing::HasSubstr;
using testing_support::error_of;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string state_of(lib::ModuleBaseOld& m) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, 1);
  unsigned version = 0;
  m.get_serial_list(list, version);
  return out.data();
}

void read_state(lib::ModuleBaseOld& m, const std::string& bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, 1);
  unsigned version = 1;
  m.get_serial_list(list, version);
}

template <class T>
void put(std::string& bytes, std::size_t at, T v) {
  std::memcpy(bytes.data() + at, &v, sizeof v);
}

}  // namespace

// ---- pumps ----------------------------------------------------------------------------------

TEST(NasosWork, APumpStaysWorkingFiveTicksAfterItsLastStroke) {
  NasosWork pumps;
  std::array<float, 6> strokes{};
  strokes[2] = 60;
  std::vector<bool> working;
  for (int tick = 0; tick < 7; ++tick) {
    pumps.work(strokes);
    working.push_back(pumps.is_working(2));
    strokes[2] = 0;
  }
  EXPECT_EQ(working, (std::vector<bool>{true, true, true, true, true, false, false}));
  EXPECT_FALSE(pumps.is_working(0)) << "a pump that never stroked";
  EXPECT_FALSE(pumps.is_working(6)) << "no seventh pump";
  EXPECT_FALSE(pumps.is_working(-1));
}

// A rate other than zero is a stroke whatever its sign (a sensor wired the other way round
// still sees the pump move); a rate that is not a number is no stroke. Both are told once.
TEST(NasosWork, ANegativeRateWorksThePumpANaNDoesNotAndEachIsToldOnce) {
  NasosWork pumps;
  std::vector<std::string> log;
  pumps.set_error_sink([&](const std::string& m) { log.push_back(m); });
  std::array<float, 6> strokes{};
  strokes[1] = -12.5f;
  for (int tick = 0; tick < 8; ++tick) pumps.work(strokes);
  EXPECT_TRUE(pumps.is_working(1));
  EXPECT_EQ(pumps.hold(1), NasosWork::kHoldTicks);
  EXPECT_EQ(pumps.strokes(1), -12.5f);
  ASSERT_EQ(log.size(), 1u) << "told when it turns odd, not on every tick";
  EXPECT_NE(log[0].find("pump 2: stroke rate -12.5 is negative"), std::string::npos) << log[0];
  strokes[1] = kNaN;
  pumps.work(strokes);
  pumps.work(strokes);
  EXPECT_EQ(pumps.hold(1), NasosWork::kHoldTicks - 2) << "no number, no stroke";
  EXPECT_EQ(pumps.strokes(1), 0.0f);
  EXPECT_EQ(log.size(), 1u) << "still odd: no second line";
  strokes[1] = 30;
  pumps.work(strokes);
  strokes[1] = kNaN;
  pumps.work(strokes);
  ASSERT_EQ(log.size(), 2u) << "odd again after a sound reading: told again";
  EXPECT_NE(log[1].find("is not a number"), std::string::npos) << log[1];
}

TEST(NasosWork, StateRoundTripsAndADamagedCounterIsRefused) {
  NasosWork a;
  std::array<float, 6> strokes{10, 0, 0, 0, 0, 20};
  a.work(strokes);
  a.work(std::array<float, 6>{});
  const std::string bytes = state_of(a);
  ASSERT_EQ(bytes.size(), tanks_format::kPumpsStateBytes);
  NasosWork b;
  read_state(b, bytes);
  EXPECT_EQ(b.hold(0), 4);
  EXPECT_EQ(b.hold(5), 4);
  EXPECT_EQ(b.hold(1), 0);

  std::string damaged = bytes;
  put<std::int32_t>(damaged, 4 * 3, 1000);
  NasosWork c;
  c.work(strokes);
  EXPECT_THROW(read_state(c, damaged), lib::io::StreamError);
  EXPECT_EQ(c.hold(0), NasosWork::kHoldTicks) << "a refused block changes nothing";
  EXPECT_EQ(c.hold(3), 0);
  EXPECT_THROW(read_state(c, bytes.substr(0, 10)), lib::io::StreamError);
}

// ---- turbine ---------------------------------------------------------------------------------

TEST(ObTrub, SpeedIsFlowTimesItsCoefficientWhileOn) {
  ObTrub t;
  t.set_coeff(2.5);
  EXPECT_FLOAT_EQ(t.calc_value(12), 30.0f);
  EXPECT_FLOAT_EQ(t.calc_value(kNaN), 30.0f) << "no flow reading keeps the last speed";
  t.set_on(false);
  EXPECT_EQ(t.calc_value(12), 0.0f);
  EXPECT_FLOAT_EQ(t.get_last_result(), 30.0f) << "off: the last result is left as it was";

  lib::IniFile ini;
  ini.load_text("[ObTrub]\nsect=1\nkoef1=abc\n");
  ObTrub loaded;
  loaded.set_coeff(7);
  const auto issues = loaded.load(ini);
  ASSERT_EQ(issues.size(), 1u) << "the malformed coefficient is reported";
  EXPECT_EQ(issues[0].key, "koef1");
  EXPECT_TRUE(loaded.on());
}

// ---- one tank ----------------------------------------------------------------------------------

TEST(VEmkOpt, VolumeIsLevelTimesAreaNeverNegative) {
  VEmkOpt tank;
  EXPECT_FLOAT_EQ(tank.calc_volume(1.5f), 45.0f);  // 1.5 m × 30 m²
  EXPECT_FLOAT_EQ(tank.get_volume(), 45.0f);
  EXPECT_EQ(tank.calc_volume(-0.1f), 0.0f);
  EXPECT_EQ(tank.calc_volume(kNaN), 0.0f);
  tank.set_area(12.5f);
  EXPECT_FLOAT_EQ(tank.calc_volume(2.0f), 25.0f);
  // An area of 0 or below switches the tank's volume off; only a non-number is refused.
  for (const float area : {0.0f, -3.0f}) {
    tank.set_area(area);
    EXPECT_EQ(tank.calc_volume(2.0f), 0.0f) << area;
  }
  EXPECT_THROW(tank.set_area(kNaN), TankError);
  EXPECT_FLOAT_EQ(tank.get_s(), -3.0f) << "a refused area leaves the one held";
  tank.set_height(0);
  tank.set_height(-1);
  EXPECT_EQ(tank.get_height(), 0.0f) << "only heights above 0 are taken";
  tank.set_height(2.4f);
  EXPECT_FLOAT_EQ(tank.get_height(), 2.4f);
}

TEST(VEmkOpt, ATableGivesTheVolumeOfAShapedTank) {
  VEmkOpt tank;
  // A tank with a sloped bottom: 10 m³ in the first metre, then 20 m³ per metre.
  tank.set_table({{0, 0}, {1, 10}, {2, 30}});
  EXPECT_FLOAT_EQ(tank.calc_volume(0.5f), 5.0f);
  EXPECT_FLOAT_EQ(tank.calc_volume(1.5f), 20.0f);
  EXPECT_FLOAT_EQ(tank.calc_volume(2.5f), 40.0f) << "above the table the last slope goes on";
  EXPECT_EQ(tank.calc_volume(-0.2f), 0.0f);

  VEmkOpt raised;
  raised.set_table({{0.4f, 2}, {1.4f, 22}});
  EXPECT_FLOAT_EQ(raised.calc_volume(0.2f), 1.0f) << "below the first point down to nothing";
  EXPECT_FLOAT_EQ(raised.calc_volume(0.9f), 12.0f);

  const std::vector<std::pair<float, float>> good = tank.table();
  EXPECT_THROW(tank.set_table({{0, 0}, {2, 10}, {1, 12}}), TankError) << "unsorted levels";
  EXPECT_THROW(tank.set_table({{0, 5}, {1, 4}}), TankError) << "falling volume";
  EXPECT_THROW(tank.set_table({{0, 0}}), TankError) << "one point";
  EXPECT_THROW(tank.set_table({{0, 0}, {kNaN, 3}}), TankError);
  EXPECT_EQ(tank.table(), good) << "a refused table leaves the good one";
  EXPECT_THAT(error_of<TankError>([&] {
                tank.set_table({{0, 0}, {1, 10}, {1, 12}});
              }),
              AllOf(HasSubstr("point 3"), HasSubstr("repeated")));
  tank.set_table({});
  EXPECT_FLOAT_EQ(tank.calc_volume(1.0f), 30.0f) << "no table: the area again";
}

TEST(VEmkOpt, StoredLineRoundTripsAndABadLineChangesNothing) {
  VEmkOpt tank;
  tank.set_area(28.5f);
  tank.set_used(false);
  tank.set_volume(12.5f);
  tank.set_used_for_doliv(true);
  tank.set_height(2.5f);
  tank.set_caption("Доливная, левая");
  tank.set_mud_type("буровой");
  std::string line;
  tank.set_to_string(line);
  EXPECT_EQ(line, "28.50,0,12.50,1,0,2.50,\"Доливная, левая\",буровой");

  // The line carries every field, so writing the tank read back compares them all.
  auto line_of = [](const VEmkOpt& t) {
    std::string l;
    t.set_to_string(l);
    return l;
  };
  VEmkOpt back;
  back.get_from_string(line);
  EXPECT_EQ(line_of(back), line);

  VEmkOpt older;
  older.get_from_string("20,1,0,0,1,3");
  EXPECT_TRUE(older.is_in_tank());
  EXPECT_EQ(older.get_caption(), "");

  for (const char* bad : {"abc,1,0,0,0,0", "30,2,0,0,0,0", "30,1,0,0,0,-1", "30,1,0"}) {
    VEmkOpt t = back;
    EXPECT_THROW(t.get_from_string(bad), TankError) << bad;
    EXPECT_EQ(line_of(t), line) << bad;
  }
  EXPECT_THAT(error_of<TankError>([&] { back.get_from_string("abc,1,0,0,0,0"); }),
              HasSubstr("area"));
}

// ---- the group ----------------------------------------------------------------------------------

TEST(VEmkOpts, NamesAndTotals) {
  VEmkOpts tanks;
  tanks.set_elems_size(3);
  EXPECT_EQ(tanks.get_elem_count(), 16u) << "the tanks are a fixed set";
  EXPECT_EQ(&tanks["уровень_в_емкости2"], &tanks[1]);
  EXPECT_EQ(&tanks["объем_в_емкости3"], &tanks[2]);

  for (int i = 0; i < 16; ++i) tanks[i].set_used(false);
  tanks[0].set_used(true);
  tanks[0].set_volume(10);
  tanks[1].set_used(true);
  tanks[1].set_volume(20);
  tanks[1].set_used_for_doliv(true);
  tanks[2].set_volume(5);
  tanks.calc_total();
  EXPECT_FLOAT_EQ(tanks.get_whole_tank_v(), 35.0f);
  EXPECT_FLOAT_EQ(tanks.get_active_tank_v(), 30.0f);
  EXPECT_FLOAT_EQ(tanks.get_whole_doliv_v(), 20.0f);
  EXPECT_FLOAT_EQ(tanks.get_total_in_tank(), 0.0f);
  tanks[3].set_in_tank(true);
  tanks[3].set_used(true);
  tanks[3].set_volume(7);
  tanks[4].set_in_tank(true);  // not used: not received into the active system
  tanks[4].set_volume(100);
  tanks.calc_total();
  EXPECT_FLOAT_EQ(tanks.get_total_in_tank(), 7.0f);
  EXPECT_FLOAT_EQ(tanks.get_whole_tank_v(), 142.0f);

  // A wrong index or name gives a spare tank that adds to nothing.
  tanks[16].set_volume(1000);
  tanks[-1].set_volume(1000);
  tanks["уровень_нигде"].set_volume(1000);
  tanks.calc_total();
  EXPECT_FLOAT_EQ(tanks.get_whole_tank_v(), 142.0f);
  EXPECT_EQ(tanks[16].get_volume(), 0.0f);

  tanks[2].set_caption("Приёмная");
  tanks.check_captions();
  EXPECT_EQ(tanks[0].get_caption(), "Ёмкость 1");
  EXPECT_EQ(tanks[2].get_caption(), "Приёмная") << "a caption given is kept";
}

TEST(VEmkOpts, SettingsLoadReportsBadLinesAndTablesAndKeepsWhatWasGood) {
  VEmkOpts tanks;
  std::vector<std::string> log;
  tanks.set_error_sink([&](const std::string& m) { log.push_back(m); });
  tanks[1].set_area(22);
  lib::IniFile ini;
  ini.load_text(
      "[VEmkOpts]\ncount=16\n1=25,1,0,0,0,2.4,Первая,\n2=0,1,0,0,0,2.4\n3=40,0,0,1,0,3\n"
      "[VEmkTables]\n1=0,0,1,10,2,30\n3=0,0,1,10,1,12\n4=0,0,1\n"
      "[ObTrub]\nsect=0\nkoef1=3\n");
  const auto notes = tanks.load_settings(ini);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_TRUE(log.empty()) << "the caller logs the notes, once";
  EXPECT_NE(notes[0].find("[VEmkOpts] 2: the area 0.00 is not above 0"), std::string::npos)
      << notes[0];
  EXPECT_NE(notes[1].find("[VEmkTables] 3"), std::string::npos) << notes[1];
  EXPECT_NE(notes[1].find("repeated"), std::string::npos) << notes[1];
  EXPECT_NE(notes[2].find("[VEmkTables] 4"), std::string::npos) << notes[2];

  EXPECT_FLOAT_EQ(tanks[0].get_s(), 25.0f);
  EXPECT_EQ(tanks[0].get_caption(), "Первая");
  EXPECT_FLOAT_EQ(tanks[0].calc_volume(1.5f), 20.0f) << "tank 1 reads its table";
  EXPECT_EQ(tanks[1].calc_volume(2.0f), 0.0f) << "switched off by its area, not back at 22";
  EXPECT_FALSE(tanks[2].is_used());
  EXPECT_TRUE(tanks[2].is_used_for_doliv());
  EXPECT_FLOAT_EQ(tanks[2].calc_volume(1.0f), 40.0f) << "the refused table: the area works";
  EXPECT_EQ(tanks[5].get_caption(), "Ёмкость 6");
  EXPECT_FALSE(tanks.turbine().on());
  EXPECT_DOUBLE_EQ(tanks.turbine().coeff(), 3.0);

  // What is saved loads back to the same tanks.
  lib::IniFile saved;
  tanks.save_settings(saved);
  VEmkOpts again;
  EXPECT_EQ(again.load_settings(saved).size(), 1u) << "only tank 2's area is told again";
  for (int i = 0; i < 16; ++i) {
    std::string a, b;
    tanks[i].set_to_string(a);
    again[i].set_to_string(b);
    EXPECT_EQ(a, b) << i;
    EXPECT_EQ(tanks[i].table(), again[i].table()) << i;
  }
  EXPECT_FALSE(again.turbine().on());
}

TEST(VEmkOpts, StateRoundTripsAndADamagedBlockIsRefusedWhole) {
  VEmkOpts a;
  a[0].calc_volume(1.0f);  // 30
  a[4].calc_volume(0.5f);  // 15
  a[4].set_used(false);
  a.calc_total();
  a.set_circulating_v(123.25f);
  const std::string bytes = state_of(a);
  ASSERT_EQ(bytes.size(), tanks_format::kTanksStateBytes);
  VEmkOpts b;
  read_state(b, bytes);
  EXPECT_FLOAT_EQ(b.get_active_tank_v(), 30.0f);
  EXPECT_FLOAT_EQ(b.get_whole_tank_v(), 45.0f);
  EXPECT_FLOAT_EQ(b.get_circulating_v(), 123.25f);
  EXPECT_FLOAT_EQ(b[4].get_volume(), 15.0f);

  std::string damaged = bytes;
  put<float>(damaged, 20 + 4 * 4, -5.0f);  // tank 5's volume
  VEmkOpts c;
  c[0].set_volume(7);
  EXPECT_THROW(read_state(c, damaged), lib::io::StreamError);
  EXPECT_FLOAT_EQ(c[0].get_volume(), 7.0f) << "nothing of a refused block is taken";
  put<float>(damaged, 20 + 4 * 4, std::numeric_limits<float>::quiet_NaN());
  EXPECT_THROW(read_state(c, damaged), lib::io::StreamError);
  EXPECT_THROW(read_state(c, bytes.substr(0, 40)), lib::io::StreamError);
}
