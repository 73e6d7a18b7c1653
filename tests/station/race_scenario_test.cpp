// The stand counter and the run totals over the whole station tick, on the shipped scripted
// rigs: a trip out, a trip in and a stand drilled, counted and totalled as a mud logger
// would count them by hand from the scenario's story.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "calc/candle_counter.h"
#include "calc/race_total.h"
#include "core/config.h"
#include "core/system.h"
#include "params/par_tabl.h"
#include "registry/values.h"
#include "station/live_view.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using testing_support::Rig;
using testing_support::TempDir;

namespace {

const std::string kScenarios = RIGCORE_SCENARIOS;

station::StationSettings play(const std::string& scenario, int race = 0) {
  station::StationSettings s;
  s.protocol = "emulator";
  s.race = race;
  if (!scenario.empty()) s.scenario = kScenarios + scenario;
  return s;
}

// What the station shows tick by tick, totalled by hand: ticks of tripping (operation 14 or
// 15) with the bit going up, and going down.
struct Watch {
  int up = 0, down = 0;
  double bit = -1;
};

void run(Rig& rig, double until = 1e9, Watch* watch = nullptr) {
  while (!rig.st->scenario_finished() && rig.st->scenario_seconds() < until) {
    rig.ticks(1);
    if (watch == nullptr) continue;
    const auto v = rig.st->rig();
    const bool tripping = v.operation == 14 || v.operation == 15;
    if (tripping && watch->bit >= 0 && v.bit < watch->bit) ++watch->up;
    if (tripping && watch->bit >= 0 && v.bit > watch->bit) ++watch->down;
    watch->bit = v.bit;
  }
}

// Plays the scenario's first second (its start commands put the bit where its story starts),
// then starts registration run `race` there.
void start(Rig& rig, const std::string& scenario, int race, Watch* watch = nullptr) {
  rig.st->open(play(scenario));
  run(rig, 0.5, watch);
  ASSERT_EQ(rig.st->command("race " + std::to_string(race)).rfind("ok", 0), 0u);
}

// The scenarios' rig: its block travels 28 m a stand, so a stand is 30 m ("свеча").
void rig_of_the_scenarios(const TempDir& dir) {
  testing_support::edit_settings(dir.path(), [](reg::Config& c) { c.dol.block_travel = 30; });
}

TEST(RaceScenario, ATripOutCountsFiveStandsOutAndItsTimeAsTrippingOut) {
  TempDir dir;
  rig_of_the_scenarios(dir);
  Rig rig(dir.path());
  Watch watch;
  start(rig, "trip-out.txt", 1, &watch);
  run(rig, 1e9, &watch);
  EXPECT_EQ(rig.hub->candle_counter().get(), 35) << "40 in the hole, 5 out";
  EXPECT_EQ(rig.hub->candle_counter().get_pipe(), 0);
  EXPECT_EQ(rig.hub->candle_counter().get_last_direction(), -1);
  EXPECT_EQ(rig.st->rig().stands, 35);
  EXPECT_EQ(rig.hub->values().get("candles.value"), 35);

  const calc::RaceTotal& race = rig.hub->race_total();
  // The bit went up 5 × 28 m in lifts of 60 s; once the trip is recognised (a few minutes
  // in) every second of a lift is tripping out. Nothing went deeper, nothing was drilled.
  EXPECT_EQ(race.tripping_shallower_ticks(), watch.up);
  EXPECT_GE(watch.up, 2 * 55);
  EXPECT_EQ(race.tripping_deeper_ticks(), 0);
  EXPECT_EQ(race.drilling_ticks(), 0);
  EXPECT_EQ(race.get_prohodka(), 0);
  EXPECT_NEAR(rig.hub->values().get("race.spo_up_time") * 3600, race.tripping_shallower_ticks(),
              1e-6);
  EXPECT_TRUE(rig.st->close());
}

TEST(RaceScenario, ATripInCountsThreeStandsBack) {
  TempDir dir;
  rig_of_the_scenarios(dir);
  {
    Rig rig(dir.path());
    start(rig, "trip-in.txt", 2);
    run(rig, 200);  // one stand in
    EXPECT_EQ(rig.hub->candle_counter().get(), 36);
    EXPECT_TRUE(rig.st->close());
  }
  Rig restarted(dir.path());
  restarted.st->open(play("", 2));
  EXPECT_EQ(restarted.hub->candle_counter().get(), 36) << "the count comes back";
  EXPECT_TRUE(restarted.st->close());

  Rig whole(dir.path());
  Watch watch;
  start(whole, "trip-in.txt", 3, &watch);
  run(whole, 1e9, &watch);
  EXPECT_EQ(whole.hub->candle_counter().get(), 38) << "35 in the hole, 3 more";
  EXPECT_EQ(whole.hub->candle_counter().get_last_direction(), +1);
  EXPECT_EQ(whole.hub->race_total().tripping_shallower_ticks(), 0) << "a new run, run 3";
  EXPECT_EQ(whole.hub->race_total().tripping_deeper_ticks(), watch.down);
  EXPECT_GE(watch.down, 55);
}

TEST(RaceScenario, AStandDrilledAddsOneAndTotalsItsFootageAndDrillingTime) {
  TempDir dir;
  rig_of_the_scenarios(dir);
  Rig rig(dir.path());
  start(rig, "drill-stand.txt", 5);
  const auto started = rig.st->source().ticks;
  const calc::RaceTotal& race = rig.hub->race_total();
  // The pumps run from second 61 and stop for the connection at 693: the run's circulation
  // time stops with them (after the pumps' 5 s of hold), and the inlet pressure's run average
  // counts only the ticks of circulation, not the idle ones after.
  run(rig, 700);
  const int circulated = race.circulation_ticks();
  EXPECT_NEAR(circulated, 693 - 61 + 5, 3);
  run(rig);
  EXPECT_EQ(race.circulation_ticks(), circulated) << "no circulation while the pumps stand";
  EXPECT_NEAR(rig.hub->values().get("race.circ_time"), circulated / 3600.0, 1e-9);
  EXPECT_NEAR(race.get_aver_value("давление_на_входе"), 90, 1.0);
  EXPECT_FALSE(rig.hub->data_storage().circulation_on());
  EXPECT_EQ(rig.hub->candle_counter().get(), 1);
  EXPECT_EQ(rig.hub->candle_counter().get_last_direction(), +1);
  EXPECT_NEAR(race.get_race_start(), 1000.0, 1e-6);
  EXPECT_NEAR(race.get_prohodka(), 28.0, 0.01);
  EXPECT_NEAR(rig.hub->values().get("race.prohodka"), 28.0, 0.01);
  // Drilled from second 61 to 661: the recognition takes up to a minute to call it drilling
  // and to see that it stopped.
  EXPECT_GE(race.drilling_ticks(), 540);
  EXPECT_LE(race.drilling_ticks(), 661);
  EXPECT_NEAR(rig.hub->values().get("race.drill_time"), race.drilling_ticks() / 3600.0, 1e-9);
  const double hours = race.drilling_ticks() / 3600.0;
  EXPECT_NEAR(race.average_rop(), 28.0 / hours, 0.1);
  EXPECT_GT(race.average_rop(), 150);
  EXPECT_LT(race.average_rop(), 187);
  // Every tick of the run is in the registration time.
  EXPECT_EQ(race.total_ticks(), static_cast<int>(rig.st->source().ticks - started));
  EXPECT_GE(race.total_ticks(), 1000);
  EXPECT_EQ(race.tripping_ticks(), 0);

  // The live view shows them.
  const auto lines = station::rig_state_lines(rig.st->rig());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[3].find("in hole 1 stands 0 pipes"), std::string::npos) << lines[3];
  EXPECT_NE(lines[3].find("footage 28.00 m"), std::string::npos) << lines[3];

  // The end of the run stops the totals; its rate is the footage over its duration.
  rig.clock.now.seconds += 1061;
  EXPECT_EQ(rig.st->command("race stop").rfind("ok", 0), 0u);
  const double seconds = race.end_time() - race.start_time();
  EXPECT_GE(seconds, 1061);
  EXPECT_NEAR(race.get_race_rate(), 28.0 * 3600 / seconds, 0.05);
  EXPECT_TRUE(rig.st->close());
}

TEST(RaceScenario, ARunStartedWithTheScenarioStartsAtItsDepth) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open(play("drill-stand.txt", 9));
  EXPECT_NEAR(rig.hub->race_total().get_race_start(), 1000.0, 1e-9);
  run(rig, 30);
  EXPECT_EQ(rig.hub->race_total().get_prohodka(), 0);
}

// Runs the built rigstation with `args` (quoted for the shell); its exit code and output.
std::pair<int, std::string> rigstation(const std::string& args) {
  const std::string command =
      std::string("timeout 30 ") + RIGCORE_TEST_RIGSTATION + " " + args + " 2>&1 </dev/null";
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, out};
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(RaceScenario, TheRaceToolShowsTheSavedRunAndRefusesAStateItCannotRead) {
  TempDir dir;
  rig_of_the_scenarios(dir);
  {
    Rig rig(dir.path());
    start(rig, "drill-stand.txt", 5);
    run(rig);
    ASSERT_TRUE(rig.st->close());
  }
  const auto [code, out] = rigstation("race --home '" + dir.path() + "'");
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("Run 5 (active)"), std::string::npos) << out;
  EXPECT_NE(out.find("start "), std::string::npos) << out;
  EXPECT_NE(out.find("at 1000.00 m; not ended"), std::string::npos) << out;
  EXPECT_NE(out.find("footage 28.00 m"), std::string::npos) << out;
  EXPECT_NE(out.find("In the hole: 1 stands, 0 pipes"), std::string::npos) << out;
  const auto [jcode, json] = rigstation("race --json --home '" + dir.path() + "'");
  EXPECT_EQ(jcode, 0) << json;
  EXPECT_NE(json.find("\"stands\": 1"), std::string::npos) << json;

  std::ofstream(dir.file("sys.bin"), std::ios::trunc) << "not a state file at all";
  const auto [bad, said] = rigstation("race --home '" + dir.path() + "'");
  EXPECT_EQ(bad, 1) << said;
  EXPECT_NE(said.find(dir.file("sys.bin") + "' cannot be read"), std::string::npos) << said;
  TempDir empty;
  EXPECT_EQ(rigstation("race --home '" + empty.path() + "'").first, 1);
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The hook load comes from the sensor here (the scenario moves only the block); its conversion
// stops giving a number mid-way.
TEST(RaceScenario, AHookLoadThatIsNotANumberIsLoggedOnceAndTheCountsAreKept) {
  TempDir dir;
  const std::string scenario = dir.file("block-only.txt");
  std::ofstream(scenario)
      << "start bottom=1000 bit=900 block=2 stands=7\n0 block=2\n100 block=30\n";
  Rig rig(dir.path());
  station::StationSettings s = play("");
  s.scenario = scenario;
  rig.st->open(s);
  rig.ticks(10);
  params::ParTabl& table = rig.hub->data_storage().par_tabl();
  const int hook = table.find_global("вес_на_крюке");
  ASSERT_GE(hook, 0);
  const params::CalibrPoints sound = table[hook].points;
  table[hook].points = {{0, 0}, {1, 1e308}};  // every reading converts to infinity
  rig.ticks(5);
  const std::string bad = "CalcValues::calc_pipes : the hook load ('вес_на_крюке', row " +
                          std::to_string(hook + 1) + ") or the block position";
  std::string log = testing_support::read_file(dir.file("registr.errors.log"));
  EXPECT_EQ(count_of(log, bad), 1) << log;
  EXPECT_NE(log.find("the counts are kept (7 stands, 0 pipes)"), std::string::npos) << log;
  EXPECT_EQ(rig.hub->candle_counter().get(), 7);
  const std::size_t samples = rig.hub->candle_counter().items().size();
  rig.ticks(3);
  EXPECT_EQ(rig.hub->candle_counter().items().size(), samples) << "no sample is taken";

  table[hook].points = sound;
  rig.ticks(2);
  log = testing_support::read_file(dir.file("registr.errors.log"));
  EXPECT_EQ(count_of(log, "calc_pipes : the hook load and the block position read again"), 1);
  EXPECT_EQ(rig.hub->candle_counter().items().size(), samples + 2);
  EXPECT_EQ(rig.hub->candle_counter().get(), 7);
}

TEST(RaceScenario, WithoutARunNothingIsTotalledAndStandsAreSetByTheOperator) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open(play("drill-stand.txt"));
  run(rig, 300);
  EXPECT_EQ(rig.hub->race_total().total_ticks(), 0);
  EXPECT_EQ(rig.st->command("stands 12 2").rfind("ok 12 stands and 2 pipes", 0), 0u);
  EXPECT_EQ(rig.hub->candle_counter().get(), 12);
  EXPECT_EQ(rig.hub->candle_counter().get_pipe(), 2);
  for (const char* bad : {"stands -1", "stands 2.5", "stands x", "stands 3 -1", "stands 1e9"}) {
    EXPECT_EQ(rig.st->command(bad).rfind("error", 0), 0u) << bad;
    EXPECT_EQ(rig.hub->candle_counter().get(), 12) << bad;
  }
}

}  // namespace
