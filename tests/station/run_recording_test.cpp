// A registration run recorded by the whole station: the scripted rig drills two metres and
// circulates bottoms up; the run's time, depth and lag files are read back block by block.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/system.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "storage/data_storage.h"
#include "storage/recording_blocks.h"
#include "support/fakes.h"

using namespace recording_test;
using testing::HasSubstr;
using testing_support::Rig;
using testing_support::TempDir;

namespace {

const std::string kScenarios = RIGCORE_SCENARIOS;

std::vector<const Block*> of_type(const std::vector<Block>& blocks, int type) {
  std::vector<const Block*> out;
  for (const Block& b : blocks) {
    if (b.type == type) out.push_back(&b);
  }
  return out;
}

std::string text_of(const Block& b) {
  return b.payload.substr(4);
}

// Ticks of one second on both the steady and the wall clock, until the scenario's clock
// shows `until` seconds.
void run_until(Rig& rig, double until) {
  while (rig.st->scenario_seconds() < until) {
    rig.clock.now.seconds += 1;
    rig.ticks(1);
  }
}

// With a lag time of ten minutes, the mud at the bit reaches the surface ten minutes of
// pumping later: the lag depth and the lag file follow the marks as they come out.
TEST(RunRecording, ADrilledRunIsRecordedByTimeDepthAndLagWithHeaderAndTrailer) {
  TempDir dir;
  testing_support::edit_settings(dir.path(), [](reg::Config& c) {
    c.lag.by_lag_time = 1;
    c.lag.lag_time = 600;
  });
  Rig rig(dir.path());
  rig.open(kScenarios + "circulate-bottoms-up.txt");
  run_until(rig, 300);
  // Two metres drilled: ten depth lines wait for their mud; the lag depth stays at the start.
  EXPECT_EQ(rig.st->recording().lag_lines, 10u);
  EXPECT_THAT(rig.st->rig().recording_file, testing::EndsWith("records/0001.realtim"));
  EXPECT_NEAR(rig.st->rig().bottom, 1002.0, 0.01);
  EXPECT_NEAR(rig.st->rig().lag, 1000.0, 0.01);
  rig.hub->data_storage().par_tabl()["температура_на_входе"].identifier = "параметр1";
  ASSERT_TRUE(rig.hub->data_storage().par_tabl().save() &&
              rig.st->command("params reload")[0] == 'o');
  run_until(rig, 660);  // the first marks come out after 600 s of pumping
  EXPECT_GT(rig.st->rig().lag, 1000.0);
  EXPECT_LT(rig.st->rig().lag, 1002.0);
  run_until(rig, 800);
  EXPECT_NEAR(rig.st->rig().lag, 1002.0, 0.01);
  EXPECT_EQ(rig.st->recording().lag_lines, 0u);
  EXPECT_EQ(rig.st->command("race stop").rfind("ok", 0), 0u);
  ASSERT_TRUE(rig.st->close());

  const std::string folder = dir.path() + "records/";
  const auto time = blocks_of(testing_support::read_file(folder + "0001.realtim"));
  const auto depth = blocks_of(testing_support::read_file(folder + "0001.realdep"));
  const auto lag = blocks_of(testing_support::read_file(folder + "0001.reallag"));

  for (const auto* file : {&time, &depth, &lag}) {
    ASSERT_GE(file->size(), 4u);
    EXPECT_EQ((*file)[0].type, 99);
    const auto texts = of_type(*file, 3);
    ASSERT_EQ(texts.size(), 2u);
    const std::string header = text_of(*texts[0]);
    EXPECT_THAT(header, HasSubstr("номер_рейса=1\r\n"));
    EXPECT_THAT(header, HasSubstr("глубинный_файл=0001.realdep\r\nвременной_файл=0001.realtim\r\n"
                                  "реальн_глубинный_файл=0001.reallag\r\n"));
    EXPECT_THAT(header, HasSubstr("нач_глубина=1000\r\n"));
    EXPECT_THAT(text_of(*texts[1]), HasSubstr("конеч_глубина=1002\r\n"));
    EXPECT_EQ(file->back().type, 3);  // the trailer closes the file
  }

  const auto lists = of_type(time, 2);  // a new one for the lines after the reload mid-run
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(identifiers_of(lists[1]->payload)[7], "параметр1");
  // A time line every ten seconds (the default step of 10000 ms), ten seconds apart.
  const auto time_lines = of_type(time, 1);
  EXPECT_NEAR(static_cast<double>(time_lines.size()), 80.0, 1.0);
  for (std::size_t i = 1; i < time_lines.size(); ++i) {
    EXPECT_EQ(u32_at(time_lines[i]->payload, 0) - u32_at(time_lines[i - 1]->payload, 0), 10u);
  }

  // Depth lines at every 0.2 m of new hole; the lag lines carry the same depths once their
  // mud is out, in the same order.
  const auto depth_lines = of_type(depth, 1);
  const auto lag_lines = of_type(lag, 1);
  ASSERT_EQ(depth_lines.size(), 10u);
  ASSERT_EQ(lag_lines.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) {
    const float expected = static_cast<float>(1000.2 + 0.2 * static_cast<double>(i));
    EXPECT_NEAR(f32_at(depth_lines[i]->payload, 4), expected, 1e-3) << i;
    EXPECT_NEAR(f32_at(lag_lines[i]->payload, 4), expected, 1e-3) << i;
    // Written only after the mud of that depth had ten minutes of pumping to come up.
    EXPECT_GE(u32_at(lag_lines[i]->payload, 0), u32_at(depth_lines[i]->payload, 0) + 590) << i;
  }
}

// Power goes off after the writer went on past the last save: the restart takes the run up
// again from that save, some of its waiting lag lines already in the lag file, some depth
// lines in the depth file that it never saw waiting. The rig drills on from the saved bottom.
// Every depth line gets its lag line, once.
TEST(RunRecording, ARunTakenUpAfterAPowerCutWritesEachLagLineOnce) {
  const struct {
    double save, cut;
  } cases[] = {
      {640, 690},  // lag lines written after the save
      {60, 130},   // depth lines written after the save
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "saved at " << c.save << " s, cut at " << c.cut << " s");
    TempDir dir;
    testing_support::edit_settings(dir.path(), [](reg::Config& c) {
      c.lag.by_lag_time = 1;
      c.lag.lag_time = 600;
      c.recording.state_save_period = 100000;  // saved only when this test says so
    });
    {
      Rig rig(dir.path());
      station::StationSettings s;
      s.protocol = "emulator";
      s.scenario = kScenarios + "circulate-bottoms-up.txt";
      rig.st->open(s);
      run_until(rig, c.save);
      const std::size_t waiting_at_save = rig.st->recording().lag_lines;
      ASSERT_TRUE(rig.hub->save_to_file(dir.path()));
      run_until(rig, c.cut);
      ASSERT_NE(rig.st->recording().lag_lines, waiting_at_save) << "the writer went on";
      // The cut: no close, no save; the writer empties its queue as the station goes.
      rig.st.reset();
    }
    const std::string again = dir.path() + "drill-on.txt";
    std::ofstream(again) << "0 hook=80 block=30 pressure=90 rpm=60 wob=8 spm1=60\n"
                         << "120 block=28\n121 rpm=0 wob=0\n151 block=29\n3600 block=29\n";
    Rig rig(dir.path());
    rig.open(again);
    EXPECT_TRUE(rig.st->rig().race_active);
    run_until(rig, 900);
    EXPECT_EQ(rig.st->recording().lag_lines, 0u);
    EXPECT_EQ(rig.st->command("race stop").rfind("ok", 0), 0u);
    ASSERT_TRUE(rig.st->close());

    const auto depths = [&](const char* file) {
      const auto blocks = blocks_of(testing_support::read_file(dir.file(file)));
      std::vector<float> out;
      for (const Block* b : of_type(blocks, 1)) out.push_back(f32_at(b->payload, 4));
      return out;
    };
    const std::vector<float> depth = depths("records/0001.realdep");
    ASSERT_GE(depth.size(), 15u);
    EXPECT_TRUE(std::is_sorted(depth.begin(), depth.end()));
    EXPECT_EQ(depths("records/0001.reallag"), depth);
  }
}

}  // namespace
