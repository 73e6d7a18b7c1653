// The alarm pass on the whole station tick: a scripted overpull crosses the hook load's
// relay threshold, and everything the crew relies on follows it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "alarms/min_max_kinds.h"
#include "alarms/min_max_log.h"
#include "alarms/sound.h"
#include "alarms/voice_thread.h"
#include "core/config.h"
#include "core/registr_log_old.h"
#include "core/system.h"
#include "lib/audio_output.h"
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

bool in_alarm(const Rig& rig, const char* id) {
  for (const auto& r : rig.st->rows())
    if (r.identifier == id) return r.alarm;
  ADD_FAILURE() << "no row " << id;
  return false;
}
bool hook_in_alarm(const Rig& rig) {
  return in_alarm(rig, kHook);
}

station::StationSettings overpull() {
  station::StationSettings s;
  s.protocol = "emulator";
  s.scenario = kScenarios + "hook-overpull.txt";
  return s;
}

// The one threshold in force.
void only_threshold(reg::System& hub, std::unique_ptr<alarms::MinMaxValue> threshold) {
  hub.config().min_max_values().clear();
  hub.config().min_max_values().add(std::move(threshold));
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
  rig.open(kScenarios + "hook-overpull.txt");
  only_threshold(*rig.hub, std::make_unique<alarms::MinMaxRelayValue>(kHook, -1, 100, 2));
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

// The thresholds in force are the settings file's: one added to global.ini while the station
// was stopped fires, one removed from it fires no more, whatever the saved state held; the
// alarm under way at the stop comes back all the same.
TEST(AlarmScenario, ThresholdsEditedInTheSettingsFileTakeEffectAtTheRestart) {
  TempDir dir;
  const char* kPressure = "давление_на_входе";
  auto set_thresholds = [&](Rig& rig, const char* id, float max) {
    only_threshold(*rig.hub, std::make_unique<alarms::MinMaxValue>(id, -1, max));
    rig.hub->config().save_to_file(dir.file("global.ini"), rig.hub->file_system());
  };
  station::StationSettings s = overpull();
  {
    Rig rig(dir.path());
    rig.st->open(s);
    set_thresholds(rig, kHook, 100);
    run_to(rig, 80);
    ASSERT_TRUE(hook_in_alarm(rig));
    ASSERT_TRUE(rig.st->close());
    set_thresholds(rig, kPressure, 50);  // edited while the station is stopped
  }
  s.scenario = dir.file("hang.txt");
  std::ofstream(s.scenario) << "0 hook=120 block=20 pressure=90\n60 hook=120\n";
  Rig rig(dir.path());
  rig.st->open(s);
  ASSERT_EQ(rig.hub->config().min_max_values().size(), 1u);
  EXPECT_EQ(rig.hub->config().min_max_values()[0].get_param(), kPressure);
  EXPECT_EQ(rig.st->alarms().current.size(), 1u) << "the alarm under way is back";
  run_to(rig, 20);
  EXPECT_TRUE(in_alarm(rig, kPressure));
  EXPECT_FALSE(hook_in_alarm(rig)) << "120 t, but its threshold is gone from the file";
  EXPECT_TRUE(rig.st->close());
}

TEST(AlarmScenario, AnAlarmLogTheDiskRefusesKeepsItsEpisodesAndWritesThemLater) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  Rig rig(dir.path(), &fs);
  rig.open(kScenarios + "hook-overpull.txt");
  only_threshold(*rig.hub, std::make_unique<alarms::MinMaxValue>(kHook, -1, 100));
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

using testing_support::HeardAudio;

// The overpull sounds the alarm loop and says its phrase from the word files. The station
// stops (a power cut, a restart) while the alarm is under way: the restarted station sounds its
// loop again at once, without a second episode in the alarm log and without saying its phrase a
// second time.
TEST(AlarmScenario, AnAlarmUnderWayAtARestartSoundsItsLoopAgainButIsNotSpokenOrLoggedTwice) {
  TempDir dir;
  const std::string voice = dir.path() + "voice/ru/";
  std::filesystem::create_directories(voice);
  for (const char* w : {"alarm", "param", kHook, "is_higher", "silence"})
    std::ofstream(voice + w + ".wav") << "RIFF";
  const std::string hang_on = dir.path() + "hang-on.txt";
  // The string still hangs up after the restart, then comes free.
  std::ofstream(hang_on) << "0 hook=120 block=20 pressure=0 rpm=0 wob=0 spm1=0\n"
                         << "20 hook=120\n22 hook=80\n80 hook=80\n";
  const std::string alarm = "loop " + dir.path() + "sounds/alarm.wav";
  testing_support::FakeClock clock;
  clock.set(2026, 12, 5, 12, 0, 0);
  auto start = [&](HeardAudio& audio, const std::string& scenario) {
    reg::SystemOptions o;
    o.home_folder = dir.path();
    o.clock = &clock;
    o.audio = &audio;
    o.sleep = [&](int ms) { clock.steady += ms; };
    auto hub = std::make_unique<reg::System>(o);
    auto st = std::make_unique<station::Station>(*hub);
    station::StationSettings s = overpull();
    s.scenario = scenario;
    st->open(s);
    only_threshold(*hub, std::make_unique<alarms::MinMaxValue>(kHook, -1, 100));
    return std::make_pair(std::move(hub), std::move(st));
  };
  auto tick_until = [&](station::Station& st, double seconds) {
    while (!st.scenario_finished() && st.scenario_seconds() < seconds) {
      clock.now.seconds += 1;
      clock.steady += 1000;
      st.tick();
    }
  };
  {
    HeardAudio audio;
    auto [hub, st] = start(audio, kScenarios + "hook-overpull.txt");
    tick_until(*st, 80);
    ASSERT_TRUE(audio.wait_for("word " + voice + "silence.wav"));
    ASSERT_EQ(st->alarms().current.size(), 1u);
    EXPECT_EQ(hub->sound().looping(), alarms::kSoundAlarm);
    std::vector<std::string> sounds, words;
    for (const auto& c : audio.heard()) (c.rfind("word ", 0) == 0 ? words : sounds).push_back(c);
    EXPECT_THAT(sounds, ElementsAre(alarm));
    EXPECT_THAT(words,
                ElementsAre("word " + voice + "alarm.wav", "word " + voice + "param.wav",
                            "word " + voice + kHook + ".wav", "word " + voice + "is_higher.wav",
                            "word " + voice + "silence.wav"));
    ASSERT_TRUE(st->close());
    st.reset();
    hub.reset();
  }
  const std::string log_path = dir.path() + std::string(station::alarm_log_format::kFileName);
  EXPECT_TRUE(station::read_alarm_log(log_path, lib::posix_file_system()).records.empty())
      << "the episode goes on: not logged yet";

  HeardAudio audio;
  auto [hub, st] = start(audio, hang_on);
  // Sounding before the first tick, as soon as the saved state is back.
  EXPECT_THAT(audio.heard(), ElementsAre(alarm));
  EXPECT_EQ(hub->sound().looping(), alarms::kSoundAlarm);
  EXPECT_EQ(st->alarms().current.size(), 1u) << "the alarm under way is back before a tick";
  tick_until(*st, 10);
  {
    std::lock_guard guard(hub->min_max_log().lock());
    EXPECT_EQ(hub->min_max_log().current_items().size(), 1u) << "the same episode goes on";
  }
  EXPECT_EQ(hub->sound().looping(), alarms::kSoundAlarm);
  tick_until(*st, 1e9);
  EXPECT_EQ(hub->sound().looping(), 0);
  EXPECT_EQ(hub->voice_thread().queued(alarms::VoiceThread::Queue::kAlarms), 0u);
  EXPECT_THAT(audio.heard(), ElementsAre(alarm, "stop")) << "no word of a second phrase";
  EXPECT_TRUE(st->close());
  EXPECT_EQ(station::read_alarm_log(log_path, lib::posix_file_system()).records.size(), 1u);
  st.reset();
  hub.reset();
}

}  // namespace
