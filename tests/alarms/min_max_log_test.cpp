#include "alarms/min_max_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "alarms/min_max_kinds.h"
#include "lib/binary_stream.h"
#include "lib/lock_object.h"
#include "lib/module_list.h"
#include "params/all_params.h"
#include "registry/values.h"
#include "storage/data_storage.h"
#include "support/fakes.h"
#include "support/module_state.h"

using namespace alarms;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::FakeClock;
using testing_support::load_state;
using testing_support::save_state;
using testing_support::TempDir;

namespace {

// A storage with two rows (hook load, inlet pressure), a threshold list, the registry for
// the relay variable and recorders for everything the log reports.
struct Rig {
  TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage ds{catalogue};
  lib::lock_object lock;
  reg::Values values{lock};
  FakeClock clock;
  MinMaxValues thresholds;
  bool relays_on = true;
  std::vector<std::string> events;
  std::vector<std::string> errors;
  std::vector<std::vector<std::string>> phrases;
  std::vector<std::string> logged;  // "<param>:<extreme>:<value>" of each finished episode
  int started = 0;
  std::unique_ptr<MinMaxLog> log;

  Rig() {
    ds.par_tabl().add("вес_на_крюке");
    ds.par_tabl().add("давление_на_входе");
    ds.par_tabl()[0].unit = "тс";
    clock.set(2026, 3, 1, 10, 0, 0);
    MinMaxLogServices s;
    s.thresholds = &thresholds;
    s.storage = &ds;
    s.values = &values;
    s.use_pult_relay = [this] { return relays_on; };
    s.event_log = [this](const std::string& line) { events.push_back(line); };
    s.error_log = [this](const std::string& line) { errors.push_back(line); };
    s.voice_alarms = [this](const std::vector<std::string>& w) { phrases.push_back(w); };
    log = std::make_unique<MinMaxLog>(std::move(s), clock);
    log->on_alarm_logged.connect([this](const MinMaxLogItem& item) {
      logged.push_back(item.threshold().get_param() + ":" + float32_to_str(item.extreme()) + ":" +
                       float32_to_str(item.value()));
    });
    log->on_alarm_started.connect([this](const MinMaxLogItem&) { ++started; });
  }
  // The value the pass reads (a window of one: the current value).
  void set(int slot, double v) { ds.current_values()[slot] = v; }
  bool pass(double hook) {
    set(0, hook);
    return log->process();
  }
  const MinMaxLog::Items& items() const { return log->current_items(); }
};

TEST(MinMaxLogTest, ExtremeFollowsTheLowerSideAndEqualityIsNoAlarm) {
  Rig r;
  r.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", 5, -1));
  EXPECT_FALSE(r.pass(5));
  EXPECT_TRUE(r.items().empty());
  r.pass(4);
  r.pass(2);
  r.pass(3);
  ASSERT_EQ(r.items().size(), 1u);
  EXPECT_EQ(r.items()[0]->extreme(), 2.0f);
}

TEST(MinMaxLogTest, TwoThresholdsOfOneParameterMakeTwoItemsAndNaNNeverAlarms) {
  Rig r;
  r.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", -1, 30));
  r.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", -1, 40));
  r.thresholds.add(std::make_unique<MinMaxValue>("нет_такого", -1, 1));
  r.pass(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(r.items().empty());
  r.pass(45);
  EXPECT_EQ(r.items().size(), 2u);
  EXPECT_EQ(r.started, 2);
}

TEST(MinMaxLogTest, CountDownExpiresAfterFifteenStepsHoweverLongTheViolation) {
  Rig r;
  EXPECT_EQ(r.log->process_timeout(), -1);
  r.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", -1, 30));
  r.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", 50, -1));
  r.pass(31);
  r.set(0, 45);  // breaks neither
  r.pass(49);
  ASSERT_EQ(r.items().size(), 2u);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(r.log->process_timeout(), 0);
  EXPECT_TRUE(r.log->check_current());
  EXPECT_EQ(r.log->process_timeout(), 2);
  EXPECT_FALSE(r.log->check_current());
  EXPECT_EQ(r.items()[0]->countdown(), -1);
  EXPECT_EQ(r.log->process_timeout(), 2) << "an expired item stays expired";
  EXPECT_EQ(r.items()[0]->countdown(), -1);
}

TEST(MinMaxLogTest, RelaysOffNeitherFireNorTouchTheVariable) {
  Rig r;
  r.relays_on = false;
  r.values.set_variable(kRelayVariable, "5");
  r.thresholds.add(std::make_unique<MinMaxRelayValue>("вес_на_крюке", -1, 30, 1));
  EXPECT_FALSE(r.pass(40));
  EXPECT_TRUE(r.items().empty());
  EXPECT_EQ(r.values.get_variable(kRelayVariable), "5");
  EXPECT_TRUE(r.events.empty());
}

// The last relay (32) is still a relay, though only the first four are logged; 99 is not.
TEST(MinMaxLogTest, UnreadableRelayVariableCountsAsAllOffAndIsReportedOnce) {
  Rig r;
  r.values.set_variable(kRelayVariable, "garbage");
  r.thresholds.add(std::make_unique<MinMaxRelayValue>("вес_на_крюке", -1, 30, 32));
  r.thresholds.add(std::make_unique<MinMaxRelayValue>("давление_на_входе", -1, 30, 99));
  r.set(1, 50);
  r.pass(40);
  EXPECT_EQ(r.values.get_variable(kRelayVariable), "2147483648");
  EXPECT_TRUE(r.events.empty());
  ASSERT_EQ(r.errors.size(), 2u);
  EXPECT_THAT(r.errors[0], HasSubstr("relay 99"));
  EXPECT_THAT(r.errors[1], HasSubstr("'garbage'"));
  r.values.set_variable(kRelayVariable, "garbage");
  r.pass(41);
  EXPECT_EQ(r.errors.size(), 2u) << "the same bad text and relay are not reported again";
  EXPECT_EQ(r.ds.crush_flags()["давление_на_входе"], 1) << "the alarm stands without a relay";
}

TEST(MinMaxLogTest, VoiceIsQueuedOncePerEpisode) {
  Rig r;
  r.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", 5, 30));
  r.pass(31);
  r.log->process_voice();
  r.pass(33);
  r.log->process_voice();
  EXPECT_THAT(r.phrases,
              ElementsAre(ElementsAre("alarm", "param", "вес_на_крюке", "is_higher", "silence")));
  r.log->process_timeout();
  r.pass(10);
  r.pass(1);
  r.log->process_voice();
  ASSERT_EQ(r.phrases.size(), 2u) << "a new episode speaks again";
  EXPECT_EQ(r.phrases[1][3], "is_lower");
}

TEST(MinMaxLogTest, TheTextTailNamesTheRelayOrTheDeviation) {
  struct Case {
    std::unique_ptr<MinMaxValue> threshold;
    double value;
    const char* tail;
  };
  Case cases[] = {
      {std::make_unique<MinMaxRelayValue>("вес_на_крюке", -1, 30, 3), 31, "'' = 31 тс (реле №3) !"},
      {std::make_unique<MinMaxRTKValue>("вес_на_крюке", -1, 10, 1000, 2000), 12.5,
       "'' = 12.5 тс (превышение на 2.5тс)"},
  };
  for (Case& c : cases) {
    Rig r;
    r.ds.set_depth_z(1500);
    r.ds.set_operation(kDrillingOperation);
    r.thresholds.add(std::move(c.threshold));
    r.pass(c.value);
    std::string text;
    r.log->get_current_text(text);
    EXPECT_THAT(text, HasSubstr(c.tail));
  }
}

TEST(MinMaxLogTest, ARowThatChangesItsParameterBetweenPassesIsFollowed) {
  Rig r;
  r.thresholds.add(std::make_unique<MinMaxValue>("давление_на_входе", -1, 100));
  r.set(1, 150);
  r.pass(0);
  EXPECT_EQ(r.ds.crush_flags()[1], 1);
  // The operator swaps the two rows: the pressure is now read from slot 0.
  r.ds.par_tabl()[0].identifier = "давление_на_входе";
  r.ds.par_tabl()[1].identifier = "вес_на_крюке";
  r.set(1, 150);
  r.pass(50);
  EXPECT_EQ(r.ds.crush_flags()[0], 0);
  EXPECT_EQ(r.ds.crush_flags()[1], 0) << "slot 1 is the hook load now";
  r.pass(120);
  EXPECT_EQ(r.ds.crush_flags()[0], 1);
  r.ds.par_tabl()[0].identifier = "нет_такого";
  r.pass(120);
  EXPECT_EQ(r.ds.crush_flags()[0], 0) << "a parameter gone from the table is skipped";
}

// ---- the current items across a restart ----------------------------------------------------

TEST(MinMaxLogState, CurrentAlarmsSurviveARestartWithoutASecondAnnouncement) {
  Rig before;
  before.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", -1, 30));
  before.thresholds.add(std::make_unique<MinMaxRelayValue>("вес_на_крюке", 2, 40, 3));
  before.pass(45);
  before.clock.set(2026, 3, 1, 10, 0, 1);
  before.pass(50);
  before.log->process_voice();
  before.log->process_timeout();
  ASSERT_EQ(before.items().size(), 2u);
  const std::string saved = save_state(*before.log);

  Rig after;
  after.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", -1, 30));
  after.thresholds.add(std::make_unique<MinMaxRelayValue>("вес_на_крюке", 2, 40, 3));
  const auto report = load_state(*after.log, saved);
  EXPECT_EQ(report.read, 1);
  EXPECT_TRUE(report.clean());
  ASSERT_EQ(after.items().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    // Every field, the threshold by its line (which starts with its kind).
    const MinMaxLogItem& a = *before.items()[i];
    const MinMaxLogItem& b = *after.items()[i];
    EXPECT_EQ(std::make_tuple(b.threshold().get_ini_line(), b.param_name(), b.param_unit(),
                              b.started().days, b.last_seen().days, b.extreme(), b.value(),
                              b.countdown(), b.voiced()),
              std::make_tuple(a.threshold().get_ini_line(), a.param_name(), std::string("тс"),
                              a.started().days, a.last_seen().days, 50.0f, 50.0f,
                              kAlarmCountdown - 1, true));
  }
  EXPECT_EQ(before.started, 2);
  // The same episode goes on: no new item, the extreme keeps growing.
  after.pass(55);
  EXPECT_EQ(after.started, 0);
  EXPECT_EQ(after.items()[0]->extreme(), 55.0f);
}

TEST(MinMaxLogState, ADamagedBlockLeavesTheCurrentAlarmsAsTheyWere) {
  Rig source;
  source.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", -1, 30));
  source.pass(31);
  const std::string saved = save_state(*source.log);

  Rig target;
  target.thresholds.add(std::make_unique<MinMaxValue>("вес_на_крюке", 10, -1));
  target.pass(5);
  ASSERT_EQ(target.items().size(), 1u);
  // One flipped bit in the middle of the block: its checksum fails.
  std::string damaged = saved;
  damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x10);
  auto report = load_state(*target.log, damaged);
  EXPECT_EQ(report.read, 0);
  EXPECT_EQ(report.damaged, 1);
  ASSERT_EQ(target.items().size(), 1u);
  EXPECT_EQ(target.items()[0]->value(), 5.0f) << "the items before the load are kept";
  // Cut short.
  report = load_state(*target.log, saved.substr(0, saved.size() - 9));
  EXPECT_FALSE(report.clean());
  EXPECT_EQ(target.items().size(), 1u);
}

// A block whose checksum is right but whose content is not (as a damaged writer would
// leave it) is refused item by item.
TEST(MinMaxLogState, ImpossibleContentIsRefusedWithTheReason) {
  auto block = [](const std::string& line, const std::string& name, std::int32_t countdown,
                  std::uint32_t count = 1) {
    return testing_support::bytes_of(count, line, name, std::string("тс"), lib::DateTime{46000.5},
                                     lib::DateTime{46000.6}, 31.0f, 31.0f, true, countdown, false);
  };
  const std::string good_line = MinMaxValue("вес_на_крюке", -1, 30).get_ini_line();
  auto read = [](MinMaxLog& log, const std::string& bytes) -> std::string {
    lib::io::BinaryMemoryInputStream in(bytes);
    lib::serial_list list(in, 1);
    unsigned version = MinMaxLog::kStateVersion;
    try {
      log.get_serial_list(list, version);
    } catch (const lib::io::StreamError& e) {
      return e.what();
    }
    return "";
  };
  Rig r;
  EXPECT_EQ(read(*r.log, block(good_line, "вес_на_крюке", 15)), "");
  ASSERT_EQ(r.items().size(), 1u);
  EXPECT_EQ(r.items()[0]->countdown(), 15);
  EXPECT_THAT(read(*r.log, block(good_line, "вес_на_крюке", 16)), HasSubstr("count-down 16"));
  EXPECT_THAT(read(*r.log, block(good_line, "вес_на_крюке", -2)), HasSubstr("count-down -2"));
  EXPECT_THAT(read(*r.log, block("", "вес_на_крюке", 3)), HasSubstr("names no kind"));
  EXPECT_THAT(read(*r.log, block(good_line, "", 3)), HasSubstr("no parameter name"));
  EXPECT_THAT(read(*r.log, block(good_line, "x", 3, 1000000)), HasSubstr("do not fit"));
  EXPECT_EQ(r.items().size(), 1u) << "nothing refused replaced what was there";
  EXPECT_EQ(r.items()[0]->countdown(), 15);
}

}  // namespace
