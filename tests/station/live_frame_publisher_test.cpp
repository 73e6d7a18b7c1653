// The live frame the station publishes for programs beside it: what the station shows (rows
// with their marks, depths, operation, run, current alarms), rewritten every two seconds of
// its clock and not more often. (A stale row in the frame: station_test.cpp, the unplugged
// device.)
#include <gtest/gtest.h>

#include "station/station.h"
#include "station/station_fixture.h"
#include "storage/live_frame.h"
#include "storage/live_frame_format.h"

namespace {

live::LiveFrame published(const std::string& home) {
  std::string why;
  auto f = live::decode_live_frame(testing_support::read_file(home + live::kFileName), why);
  EXPECT_TRUE(f) << why;
  return f.value_or(live::LiveFrame{});
}

TEST(LiveFramePublisher, TheFrameIsWhatTheStationShowsEveryTwoSeconds) {
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  testing_support::Rig rig(home);
  station::StationSettings settings;
  settings.protocol = "emulator";
  settings.race = 5;
  rig.st->open(settings);
  rig.ticks(3);
  const live::LiveFrame f = published(home);
  const auto view = rig.st->rig();
  EXPECT_EQ(f.race, 5);
  EXPECT_TRUE(f.race_active);
  EXPECT_EQ(f.bottom, static_cast<float>(view.bottom));
  EXPECT_EQ(f.bit, static_cast<float>(view.bit));
  EXPECT_EQ(f.operation, view.operation);
  EXPECT_EQ(f.operation_name, view.operation_name);
  EXPECT_EQ(f.alarms, rig.st->alarms().current);
  const auto rows = rig.st->rows();
  ASSERT_EQ(f.values.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(f.values[i].identifier, rows[i].identifier);
    EXPECT_EQ(f.values[i].unit, rows[i].unit);
    EXPECT_EQ(f.values[i].value, static_cast<float>(rows[i].value)) << rows[i].identifier;
    EXPECT_EQ(f.values[i].alarm, rows[i].alarm) << rows[i].identifier;
  }
  // Ticks 1 and 3 wrote it; 4 is too soon after 3, 5 writes the next.
  EXPECT_EQ(f.sequence, 2u);
  rig.ticks(1);
  EXPECT_EQ(published(home).sequence, 2u);
  rig.ticks(1);
  EXPECT_EQ(published(home).sequence, 3u);
  EXPECT_EQ(published(home).time, static_cast<std::uint32_t>(rig.clock.now.seconds));
  rig.st->close();
}

}  // namespace
