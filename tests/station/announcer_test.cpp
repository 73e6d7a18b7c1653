// The announcements' rules tick by tick, on hooks that write down what would be heard.
#include "station/announcer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "alarms/sound.h"

using station::Announcer;
using station::AnnouncerInputs;
using station::AnnouncerSettings;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct Heard {
  std::vector<std::string> calls;
  Announcer announcer{hooks()};
  AnnouncerInputs in;

  Announcer::Hooks hooks() {
    Announcer::Hooks h;
    h.play = [this](int slot) { calls.push_back("play " + std::to_string(slot)); };
    h.stop_if_looping = [this](int slot) { calls.push_back("stop " + std::to_string(slot)); };
    h.speak_operation = [this](const std::string& w) { calls.push_back("say " + w); };
    h.speak_warning = [this](const std::string& w) { calls.push_back("warn " + w); };
    h.operation_word = [](std::int32_t op) { return op == 0 ? "" : "op" + std::to_string(op); };
    return h;
  }
  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) announcer.tick(in);
  }
};

TEST(Announcer, OperationChangesAreSpokenButNotTheStateFoundAtTheStart) {
  Heard h;
  h.in.operation = 2;
  h.tick();
  h.in.operation = 8;
  h.tick(2);
  h.in.operation = 0;  // no word for it
  h.tick();
  h.in.operation = 2;
  AnnouncerSettings quiet;
  quiet.voice_operations = false;
  h.announcer.set_settings(quiet);
  h.tick();
  EXPECT_THAT(h.calls, ElementsAre("say op8"));
}

// Pressure on (the first setting), then off (the second), as each setting says.
TEST(Announcer, PressureWarningsAreGivenAsTheirSettingsSay) {
  const std::string short_signal = "play " + std::to_string(alarms::kSoundShortNotify);
  const std::string long_signal = "play " + std::to_string(alarms::kSoundNotify);
  const std::string end_long = "stop " + std::to_string(alarms::kSoundNotify);
  struct Case {
    int on, off;
    bool voice;
    std::vector<std::string> heard;
  };
  const std::vector<Case> cases = {
      {0, 0, true, {}},
      {1, 2, true, {short_signal, long_signal, end_long}},
      {3, 3, true, {"warn warn_pressure_on", "warn warn_pressure_off"}},
      {3, 0, false, {short_signal}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.on) + "/" + std::to_string(c.off));
    Heard h;
    AnnouncerSettings s;
    s.pressure_on = c.on;
    s.pressure_off = c.off;
    s.voice_warns = c.voice;
    h.announcer.set_settings(s);
    h.in.inlet_pressure = 0;
    h.tick();
    h.in.inlet_pressure = NAN;  // unknown: no change
    h.tick();
    h.in.inlet_pressure = 90;
    h.tick(3);
    h.in.inlet_pressure = 10;
    h.tick(Announcer::kLongSignalTicks + 2);
    EXPECT_EQ(h.calls, c.heard);
  }
}

TEST(Announcer, TheBitSetOnTheBottomIsWarnedOnceEachTime) {
  Heard h;
  AnnouncerSettings s;
  s.on_bottom = 3;
  h.announcer.set_settings(s);
  for (const bool on : {true, false, true, true, false, true}) {
    h.in.bit_on_bottom = on;
    h.tick();
  }
  EXPECT_THAT(h.calls, ElementsAre("warn warn_on_bottom", "warn warn_on_bottom"));
}

// Marks every metre: the lag depth coming up 0.3 m a tick passes three of them; a depth set
// anew (a jump of 500 m, or back up the hole) passes none.
TEST(Announcer, EachMarkThatTheLagDepthReachesSoundsOnce) {
  Heard h;
  const std::string mark = "play " + std::to_string(alarms::kSoundDepthLabel);
  h.in.lag_depth = 999.5;
  h.tick();
  for (int i = 1; i <= 9; ++i) {
    h.in.lag_depth = 999.5 + 0.3 * i;
    h.tick();
  }
  EXPECT_EQ(h.calls, std::vector<std::string>(3, mark)) << "1000, 1001, 1002";
  h.calls.clear();
  for (const double jump : {1502.2, 1480.0, 1480.5}) {
    h.in.lag_depth = jump;
    h.tick();
  }
  EXPECT_THAT(h.calls, IsEmpty());
  h.in.lag_depth = 1481.0;
  h.in.depths_jumped = true;  // an operator's correction
  h.tick();
  EXPECT_THAT(h.calls, IsEmpty());
}

TEST(Announcer, ANewRemarkSoundsTheMessage) {
  Heard h;
  h.in.remarks = 4;
  h.tick();
  h.in.remarks = 5;
  h.tick(2);
  h.in.remarks = 3;  // deleted
  h.tick();
  EXPECT_THAT(h.calls, ElementsAre("play " + std::to_string(alarms::kSoundMessage)));
}

}  // namespace
