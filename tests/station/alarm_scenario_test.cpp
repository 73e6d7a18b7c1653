// The alarm pass on the whole station tick: a scripted overpull crosses the hook load's
// relay threshold, and everything the crew relies on follows it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alarms/min_max_kinds.h"
#include "alarms/min_max_log.h"
#include "core/config.h"
#include "core/registr_log_old.h"
#include "core/system.h"
#include "lib/file_system.h"
#include "station/alarm_log_file.h"
#include "station/alarm_log_format.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "support/fakes.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::Rig;
using testing_support::TempDir;

namespace {

const std::string kScenarios = RIGCORE_SCENARIOS;
const char* kHook = "вес_на_крюке";

bool hook_in_alarm(const Rig& rig) {
  for (const auto& r : rig.st->rows())
    if (r.identifier == kHook) return r.alarm;
  ADD_FAILURE() << "no hook load row";
  return false;
}

// Ticks once a second, the local time moving with the steady clock.
void run_to(Rig& rig, double seconds) {
  while (!rig.st->scenario_finished() && rig.st->scenario_seconds() < seconds) {
    rig.clock.now.seconds += 1;
    rig.ticks(1);
  }
}

TEST(AlarmScenario, AnOverpullRaisesTheFlagSwitchesTheRelaySpeaksOnceAndIsLoggedWhenItEnds) {
  TempDir dir;
  Rig rig(dir.path());
  station::StationSettings s;
  s.protocol = "emulator";
  s.scenario = kScenarios + "hook-overpull.txt";
  rig.st->open(s);
  auto& thresholds = rig.hub->config().min_max_values();
  thresholds.clear();
  thresholds.add(std::make_unique<alarms::MinMaxRelayValue>(kHook, -1, 100, 2));
  rig.hub->config().link.use_pult_relay = true;
  std::vector<std::vector<std::string>> phrases;
  rig.hub->set_alarm_voice([&](const std::vector<std::string>& w) { phrases.push_back(w); });

  run_to(rig, 55);
  EXPECT_FALSE(hook_in_alarm(rig));
  EXPECT_EQ(rig.st->last_output().word, 0u);
  EXPECT_EQ(rig.hub->values().get_variable(alarms::kRelayVariable), "0");

  run_to(rig, 80);
  EXPECT_TRUE(hook_in_alarm(rig));
  EXPECT_EQ(rig.st->last_output().word, 2u) << "relay 2 is bit 1 of the console output";
  EXPECT_EQ(rig.hub->values().get_variable(alarms::kRelayVariable), "2");
  ASSERT_EQ(rig.st->alarms().current.size(), 1u);
  EXPECT_THAT(rig.st->alarms().current[0], HasSubstr("(реле №2) !"));
  EXPECT_THAT(phrases, ElementsAre(ElementsAre("alarm", "param", kHook, "is_higher", "silence")));
  const std::string log_path = dir.path() + std::string(station::alarm_log_format::kFileName);
  EXPECT_TRUE(station::read_alarm_log(log_path, lib::posix_file_system()).records.empty())
      << "an episode is logged when it ends, not before";

  run_to(rig, 1e9);
  EXPECT_FALSE(hook_in_alarm(rig));
  EXPECT_EQ(rig.st->last_output().word, 0u);
  EXPECT_EQ(phrases.size(), 1u) << "one phrase per episode";
  const auto log = station::read_alarm_log(log_path, lib::posix_file_system());
  EXPECT_TRUE(log.problems.empty());
  ASSERT_EQ(log.records.size(), 1u);
  const station::AlarmLogRecord& r = log.records[0];
  EXPECT_EQ(r.parameter, kHook);
  EXPECT_EQ(r.kind, 1);
  EXPECT_EQ(r.max, 100.0f);
  EXPECT_FALSE(r.min.has_value());
  EXPECT_GT(r.extreme, 115.0f);
  EXPECT_LE(r.extreme, 120.0f);
  EXPECT_GE(r.extreme, r.value);
  // The overpull lasted about half a minute of the scenario.
  const double seconds = (r.ended.days - r.started.days) * 86400.0;
  EXPECT_GT(seconds, 20.0);
  EXPECT_LT(seconds, 45.0);

  const auto events =
      lib::read_whole_file(dir.path() + reg::kEventLogFileName, lib::posix_file_system());
  ASSERT_TRUE(events.has_value());
  EXPECT_THAT(*events, HasSubstr("Реле №2 АКТИВИРОВАНО"));
  EXPECT_THAT(*events, HasSubstr("Реле №2 ДЕАКТИВИРОВАНО"));
  EXPECT_TRUE(rig.st->close());
}

TEST(AlarmScenario, AnAlarmLogTheDiskRefusesKeepsItsEpisodesAndWritesThemLater) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  Rig rig(dir.path(), &fs);
  station::StationSettings s;
  s.protocol = "emulator";
  s.scenario = kScenarios + "hook-overpull.txt";
  rig.st->open(s);
  auto& thresholds = rig.hub->config().min_max_values();
  thresholds.clear();
  thresholds.add(std::make_unique<alarms::MinMaxValue>(kHook, -1, 100));
  fs.only_paths_with = std::string(station::alarm_log_format::kFileName);
  fs.fail_open_with = std::string(station::alarm_log_format::kFileName);
  run_to(rig, 120);
  EXPECT_EQ(rig.st->alarm_log_pending(), 1u);
  const std::string log_path = dir.path() + std::string(station::alarm_log_format::kFileName);
  const auto errors = lib::read_whole_file(rig.hub->error_log().file(), lib::posix_file_system());
  ASSERT_TRUE(errors.has_value());
  EXPECT_THAT(*errors, HasSubstr("cannot write the alarm log '" + log_path + "'"));
  fs.fail_open_with.clear();
  run_to(rig, 1e9);
  EXPECT_EQ(rig.st->alarm_log_pending(), 0u);
  EXPECT_EQ(station::read_alarm_log(log_path, lib::posix_file_system()).records.size(), 1u);
  EXPECT_TRUE(rig.st->close());
}

}  // namespace
