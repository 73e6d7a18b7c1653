// The mud system over the whole station tick: the pumps, the tanks and the pit gain a mud
// logger watches for a kick, played from scripted rigs on the emulator; and what the station
// does with tank and pump settings it cannot use.
#include <gtest/gtest.h>

#include <string>

#include "calc/calc_values.h"
#include "core/config.h"
#include "core/system.h"
#include "lib/ini_file.h"
#include "registry/values.h"
#include "station/live_view.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "support/fakes.h"

using testing_support::Rig;
using testing_support::TempDir;

namespace {

const std::string kScenarios = RIGCORE_SCENARIOS;

station::StationSettings play(const std::string& scenario) {
  station::StationSettings s;
  s.protocol = "emulator";
  s.scenario = kScenarios + scenario;
  return s;
}

void run(Rig& rig, double until = 1e9) {
  while (!rig.st->scenario_finished() && rig.st->scenario_seconds() < until) rig.ticks(1);
}

}  // namespace

TEST(MudScenario, AKickWhileDrillingShowsAsAPitGain) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open(play("kick.txt"));
  run(rig, 110);
  station::Station::MudView m = rig.st->mud();
  ASSERT_EQ(m.pumps.size(), 1u) << "the starter table has one strokes row";
  EXPECT_TRUE(m.pumps[0].working);
  EXPECT_DOUBLE_EQ(m.pumps[0].spm, 60.0);
  // 60 strokes × 8 l × 0.8 fill (the default pump): 384 l/min.
  EXPECT_NEAR(m.flow_lpm, 384.0, 1e-6);
  ASSERT_EQ(m.tanks.size(), 1u) << "the starter table has tank 1's level row";
  EXPECT_NEAR(m.tanks[0].level, 1.50, 1e-9);
  EXPECT_NEAR(m.tanks[0].volume, 45.0, 1e-4);  // 1.50 m × 30 m²
  EXPECT_NEAR(m.active, 45.0, 1e-4);
  EXPECT_NEAR(m.pit_gain, 0.0, 1e-4) << "steady level: no gain";

  run(rig);
  m = rig.st->mud();
  EXPECT_NEAR(m.tanks[0].volume, 48.0, 1e-3);
  EXPECT_NEAR(m.pit_gain, 3.0, 1e-3) << "10 cm over 30 m² since drilling started";
  EXPECT_NEAR(rig.hub->values().get("tanks.active_volume"), 48.0, 1e-3);
  EXPECT_NEAR(rig.hub->values().get("tanks.whole_volume"), 48.0, 1e-3);

  // The screen says it with the sign.
  station::LiveViewInput in;
  in.mud = m;
  const auto lines = station::mud_lines(in.mud);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(lines[0].find("1 on 60 spm"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("pit gain +3.00 m³"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("48.00 m³"), std::string::npos) << lines[2];
  EXPECT_TRUE(rig.st->close());

  // The tank's volume and the pumps' hold come back after a restart.
  Rig again(dir.path());
  again.st->open(play("kick.txt"));
  EXPECT_NEAR(again.hub->calc_values().tanks()[0].get_volume(), 48.0, 1e-3);
  EXPECT_TRUE(again.hub->calc_values().pumps().is_working(0));
  EXPECT_TRUE(again.st->close());
}

TEST(MudScenario, UnusableTankAndPumpSettingsAreLoggedAndTheTickGoesOn) {
  TempDir dir;
  {
    Rig rig(dir.path());
    rig.hub->config().other.pumps[0].volume = 0;
    rig.hub->config().save_to_file(dir.path() + "global.ini", rig.hub->file_system());
    lib::IniFile ini;
    ini.load_file(dir.path() + "global.ini", rig.hub->file_system());
    ini.set_string("VEmkOpts", "1", "0,1,0,0,0,2");
    ini.set_string("VEmkTables", "2", "0,0,1,10,1,12");
    ini.save_file(dir.path() + "global.ini", rig.hub->file_system());
  }
  Rig rig(dir.path());
  rig.st->open(play("kick.txt"));
  bool tank_line = false, table_line = false;
  for (const auto& n : rig.st->settings_notes()) {
    tank_line = tank_line || (n.find("[VEmkOpts] 1") != std::string::npos &&
                              n.find("area") != std::string::npos);
    table_line = table_line || (n.find("[VEmkTables] 2") != std::string::npos &&
                                n.find("repeated") != std::string::npos);
  }
  EXPECT_TRUE(tank_line) << "the zero area is told";
  EXPECT_TRUE(table_line) << "the repeated level is named";
  run(rig, 110);
  const station::Station::MudView m = rig.st->mud();
  EXPECT_EQ(m.tanks.at(0).volume, 0.0) << "tank 1 is switched off by its area, no phantom";
  EXPECT_EQ(m.flow_lpm, 0.0) << "a pump with no volume per stroke adds no flow";
  EXPECT_TRUE(m.pumps.at(0).working) << "it still strokes";
  EXPECT_GT(rig.st->source().ticks, 100u);
  const std::string log = testing_support::read_file(dir.file("registr.errors.log"));
  const auto first = log.find("pumps: pump 1");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("объем_насоса1 = 0"), std::string::npos) << log;
  EXPECT_EQ(log.find("pumps: pump 1", first + 1), std::string::npos) << "told once";
  EXPECT_TRUE(rig.st->close());
}
