// The whole station tick on scripted rigs: the shipped scenarios played on the emulator,
// with the depths, the operation and the lag depth checked as a mud logger would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "alarms/min_max_values.h"
#include "calc/delayed_depth.h"
#include "calc/race_total.h"
#include "core/config.h"
#include "core/error_log.h"
#include "core/system.h"
#include "station/control_folder.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "storage/data_storage.h"
#include "support/error_of.h"
#include "support/fakes.h"

using testing_support::Rig;
using testing_support::TempDir;

namespace {

const std::string kScenarios = RIGCORE_SCENARIOS;

station::StationSettings emulator(int race = 0) {
  station::StationSettings s;
  s.protocol = "emulator";
  s.race = race;
  return s;
}

station::StationSettings play(const std::string& scenario, int race = 0) {
  station::StationSettings s = emulator(race);
  s.scenario = kScenarios + scenario;
  return s;
}

// Plays the scenario to its end, or until its clock shows `until` seconds (the first tick
// plays second 0).
void run(Rig& rig, double until = 1e9) {
  while (!rig.st->scenario_finished() && rig.st->scenario_seconds() < until) rig.ticks(1);
}

std::string operation_of(const Rig& rig) {
  return rig.st->rig().operation_name;
}
const char* kDrilling = "Бурение";
const char* kConnection = "Наращивание";

TEST(RigScenario, TripsMoveOnlyTheBit) {
  TempDir dir;
  {
    Rig rig(dir.path());
    rig.st->open(play("trip-out.txt"));
    run(rig);
    const auto v = rig.st->rig();
    EXPECT_NEAR(v.bit, 1028.0 - 5 * 28, 0.01);
    EXPECT_NEAR(v.bottom, 1028.0, 0.01);
    EXPECT_EQ(operation_of(rig), "Подъём");
    EXPECT_TRUE(rig.st->close());
  }
  Rig rig(dir.path());
  rig.st->open(play("trip-in.txt"));
  run(rig);
  const auto v = rig.st->rig();
  EXPECT_NEAR(v.bit, 944.0 + 3 * 28, 0.01);
  EXPECT_NEAR(v.bottom, 1028.0, 0.01);
  EXPECT_EQ(operation_of(rig), "Спуск");
}

// A stand drilled, seen and heard on the sound card: the mud of each metre drilled comes up at once
// (no well model), so each of the 28 marks sounds; the operations are said by their words as
// they change (drilling, then the connection), and the pressure warnings come as the
// settings say (on: a short signal; off: a long one, stopped after a while).
TEST(RigScenario, AStandDrilledSoundsItsDepthMarksAndSaysItsOperations) {
  TempDir dir;
  testing_support::edit_settings(dir.path(), [](reg::Config& c) {
    c.sound.pressure_on = 1;
    c.sound.pressure_off = 2;
    c.sound.on_bottom = 7;  // no such choice: said, and no warning
  });
  const std::string voice = dir.path() + "voice/ru/";
  std::filesystem::create_directories(voice);
  for (const char* word : {"oper_drill", "oper_add_pipe"}) std::ofstream(voice + word + ".wav");
  testing_support::HeardAudio audio;
  Rig rig(dir.path(), nullptr, &audio);
  rig.st->open(play("drill-stand.txt"));
  rig.hub->config().min_max_values().clear();  // no alarm loop over the emulator's rows
  const auto& notes = rig.st->start_notes();
  EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                          [](const std::string& n) {
                            return n.find("постановка_на_забой = 7 is not 0") != std::string::npos;
                          }),
            1);
  while (operation_of(rig) != kDrilling && !rig.st->scenario_finished()) rig.ticks(1);
  EXPECT_TRUE(audio.wait_for("word " + voice + "oper_drill.wav"));
  // The stand drilled moves the bottom by the block's travel.
  run(rig, 661);
  auto v = rig.st->rig();
  EXPECT_THAT((std::vector<double>{v.bottom, v.bit, v.block}),
              testing::Pointwise(testing::DoubleNear(0.01), {1028.0, 1028.0, 2.0}));
  EXPECT_EQ(operation_of(rig), kDrilling);
  EXPECT_EQ(v.operation_class, "op-drill");
  while (operation_of(rig) != kConnection && !rig.st->scenario_finished()) rig.ticks(1);
  EXPECT_TRUE(audio.wait_for("word " + voice + "oper_add_pipe.wav"));
  run(rig);
  // Picked up 2 m, then the empty block went up in the slips: the connection moves no bottom.
  v = rig.st->rig();
  EXPECT_THAT((std::vector<double>{v.bottom, v.bit, v.block}),
              testing::Pointwise(testing::DoubleNear(0.01), {1028.0, 1026.0, 30.0}));
  EXPECT_EQ(operation_of(rig), kConnection);
  // The data storage carries the same depths.
  EXPECT_EQ(rig.hub->data_storage().depth_z(), v.bottom);
  EXPECT_EQ(rig.hub->data_storage().depth_cur(), v.bit);
  const std::string sounds = dir.path() + "sounds/";
  const auto heard = audio.heard();
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "once " + sounds + "BoingBoing.wav"), 28);
  std::vector<std::string> signals;
  for (const auto& c : heard)
    if (c.find("Свисток") != std::string::npos || c == "stop") signals.push_back(c);
  EXPECT_EQ(signals, (std::vector<std::string>{"once " + sounds + "Свисток.wav",
                                               "loop " + sounds + "Свисток.wav", "stop"}));
  EXPECT_TRUE(rig.st->close());
}

// A restart in the middle of a run continues it: the depths, the marks on their way up,
// the block and the recognised operation come back from the state file.
TEST(RigScenario, ARestartMidRunRestoresDepthsLagQueueAndOperation) {
  TempDir dir;
  std::size_t marks = 0;
  testing_support::edit_settings(dir.path(), [](reg::Config& c) { c.lag.lag_time = 3000; });
  int row = -1, ticks = 0;
  double average = 0;
  {
    Rig rig(dir.path());
    rig.st->open(play("drill-stand.txt", /*race=*/7));
    run(rig, 461);  // 400 s of drilling
    marks = rig.hub->data_storage().delayed_depth().records().size();
    EXPECT_GT(marks, 50u);
    EXPECT_EQ(operation_of(rig), kDrilling);
    row = rig.hub->data_storage().par_tabl().find_global("вес_на_крюке");
    ASSERT_GT(rig.hub->data_storage().par_tabl()[row].averaging, 1);
    average = rig.hub->data_storage().average_values().average(row);
    ticks = rig.hub->race_total().total_ticks();
    EXPECT_GT(ticks, 400);
    EXPECT_TRUE(rig.st->close());
  }
  Rig rig(dir.path());
  rig.st->open(emulator(7));
  EXPECT_DOUBLE_EQ(rig.hub->data_storage()[row], average) << "the first tick starts from it";
  EXPECT_EQ(rig.hub->race_total().total_ticks(), ticks) << "the run totals come back";
  const auto v = rig.st->rig();
  EXPECT_NEAR(v.bottom, 1000.0 + 28.0 * 400 / 600, 0.05);
  EXPECT_NEAR(v.block, 30.0 - 28.0 * 400 / 600, 0.05);
  EXPECT_EQ(operation_of(rig), kDrilling);
  EXPECT_TRUE(v.race_active);
  EXPECT_EQ(v.race, 7);
  EXPECT_EQ(rig.hub->data_storage().delayed_depth().records().size(), marks);
  bool told = false;
  for (const auto& n : rig.st->start_notes())
    told |= n.find("run 7 continues") != std::string::npos;
  EXPECT_TRUE(told);
  rig.st->close();

  // Another run number is a new run: the marks of the old one are dropped.
  Rig next(dir.path());
  next.st->open(emulator(8));
  EXPECT_TRUE(next.hub->data_storage().delayed_depth().records().empty());
  EXPECT_NEAR(next.st->rig().lag, next.st->rig().bottom, 1e-6);
  next.st->close();

  Rig fresh(dir.path());
  fresh.st->open({"emulator", "", false, ""});
  EXPECT_EQ(fresh.hub->data_storage().depth_z(), 0.0) << "--no-restore starts clean";
}

// Operator commands through the control folder while the station runs, and garbage in it.
TEST(RigScenario, OperatorCommandsCorrectDepthsAndForceAnOperation) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open(emulator());
  station::ControlFolder tool(dir.path(), rig.hub->file_system());
  const std::string a = tool.submit("bottom 2500");
  const std::string b = tool.submit("bit 2600");
  const std::string c = tool.submit("operation 7");
  const std::string d = tool.submit("rm -rf /");
  const std::string e = tool.submit("bottom 99999");
  rig.ticks(1);
  EXPECT_EQ(tool.take_answer(a).value_or("").rfind("ok", 0), 0u);
  // A refusal says why on the answer itself, not only in the error log.
  EXPECT_EQ(tool.take_answer(b).value_or(""),
            "error depth correction refused: a bit depth of 2600 m is not between 0 and the "
            "bottom at 2500.00 m; set the bottom first");
  EXPECT_EQ(tool.take_answer(e).value_or(""),
            "error depth correction refused: a bottom-hole depth of 99999 m is not a depth (0 to "
            "15000 m)");
  EXPECT_EQ(tool.take_answer(c).value_or("").rfind("ok", 0), 0u);
  EXPECT_EQ(tool.take_answer(d).value_or("").rfind("error unknown command", 0), 0u);
  EXPECT_DOUBLE_EQ(rig.st->rig().bottom, 2500);
  EXPECT_EQ(rig.st->rig().operation, 7);
  EXPECT_TRUE(rig.st->rig().forced);
  EXPECT_EQ(rig.st->command("operation auto").rfind("ok", 0), 0u);
  EXPECT_FALSE(rig.st->rig().forced);
  EXPECT_NE(rig.st->rig().operation, 7);
  // Everything done and refused is in the error log.
  const std::string log = testing_support::read_file(dir.file("registr.errors.log"));
  EXPECT_NE(log.find("bottom-hole depth 0.00 m -> 2500.00 m"), std::string::npos) << log;
  EXPECT_NE(log.find("rm -rf"), std::string::npos);
}

TEST(RigScenario, ABadScenarioStopsTheStartWithTheLine) {
  TempDir dir;
  std::ofstream(dir.file("bad.txt")) << "0 hook=80\n10 hook=oops\n";
  Rig rig(dir.path());
  station::StationSettings s = emulator();
  s.scenario = dir.file("bad.txt");
  EXPECT_THAT(testing_support::error_of<station::StationError>([&] { rig.st->open(s); }),
              testing::HasSubstr("line 2"));
}

}  // namespace
