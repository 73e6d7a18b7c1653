// The live screen on a small terminal: the measurements and the source first, every line
// within the width, the whole within the height, and what did not fit counted.
#include "station/live_view.h"

#include <gtest/gtest.h>

#include "station/station_fixture.h"

namespace {

using station::LiveViewInput;
using station::RowView;

RowView row(const std::string& id, const std::string& name, double value, bool stale = false) {
  RowView r;
  r.identifier = id;
  r.name = name;
  r.unit = "кН";
  r.value = value;
  r.raw = 2048;
  r.has_raw = true;
  r.stale = stale;
  return r;
}

LiveViewInput busy_station(std::size_t rows, std::size_t registered) {
  LiveViewInput in;
  in.time = "05.12.2026 12:00:00";
  in.source.protocol_name = "Новый пульт";
  in.source.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  in.source.ticks = 120;
  in.source.good_readings = 118;
  in.source.failures = 2;
  in.source.stale = false;
  for (std::size_t i = 0; i < rows; ++i)
    in.rows.push_back(row("p" + std::to_string(i),
                          "Очень длинное название параметра номер " + std::to_string(i),
                          1234567.891 * static_cast<double>(i), i == 1));
  for (std::size_t i = 0; i < registered; ++i)
    in.registered.push_back(row("ds.v" + std::to_string(i), "", 0));
  in.notes = {"created settings /home/op/station/global.ini (defaults, data source: emulator)"};
  return in;
}

void expect_fits(const std::vector<std::string>& lines, std::size_t columns, std::size_t height) {
  EXPECT_LE(lines.size(), height);
  for (const auto& l : lines) EXPECT_LE(station::text_width(l), columns) << l;
}

TEST(LiveView, MeasurementsComeFirstAndTheRestIsCountedOnAnEightyByTwentyFour) {
  const auto in = busy_station(11, 40);
  const auto lines = station::live_view_lines(in, 80, 24);
  expect_fits(lines, 80, 24);
  ASSERT_GE(lines.size(), 3u + 11u);
  EXPECT_EQ(lines[1].rfind("source reading; good 118, failed 2; Новый пульт at", 0), 0u)
      << lines[1];
  // Every measurement is on screen, by its name, right after the heading, with its mark.
  for (std::size_t i = 0; i < 11; ++i) {
    const std::string& l = lines[3 + i];
    EXPECT_EQ(l.rfind("Очень длинное", 0), 0u) << l;
    EXPECT_EQ(l.find("stale") != std::string::npos, i == 1) << l;
  }
  EXPECT_NE(lines[4].find("1234567.89"), std::string::npos) << "values are never cut: " << lines[4];
  // The 40 registered values cannot all fit: the ones left out are counted.
  bool counted = false;
  for (const auto& l : lines) counted = counted || l.find(" more values") != std::string::npos;
  EXPECT_TRUE(counted);
}

TEST(LiveView, WhenOnlyOneLineIsLeftItCountsTheValuesRatherThanShowANote) {
  // 3 heading lines, 19 measurements, 1 footer: one line left for 40 values and a note.
  const auto lines = station::live_view_lines(busy_station(19, 40), 80, 24);
  expect_fits(lines, 80, 24);
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[22], "+40 more values");
}

TEST(LiveView, TooManyMeasurementsForTheHeightAreCountedNotScrolled) {
  const auto in = busy_station(60, 5);
  const auto lines = station::live_view_lines(in, 80, 24);
  expect_fits(lines, 80, 24);
  EXPECT_EQ(lines.size(), 24u);
  EXPECT_NE(lines[22].find("+41 more parameters"), std::string::npos) << lines[22];
}

TEST(LiveView, TheMudSystemTakesItsLinesOnlyWhenTheTableHasPumpsOrTanks) {
  LiveViewInput in = busy_station(60, 0);
  in.mud.pumps = {{1, true, 62}, {2, false, 0}};
  in.mud.flow_lpm = 396.8;
  in.mud.tanks = {{1, "Ёмкость 1", 1.2, 36, true, false},
                  {2, "Доливная", 0.5, 4, true, true},
                  {3, "", 2.0, 60, false, false}};
  in.mud.active = 40;
  in.mud.whole = 100;
  in.mud.doliv = 4;
  in.mud.pit_gain = -1.25;
  const auto lines = station::live_view_lines(in, 80, 24);
  expect_fits(lines, 80, 24);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[2], "pumps: 1 on 62 spm 2 off  flow in 397 l/min");
  EXPECT_EQ(lines[3], "tanks: active 40.00 m³  total 100.00 m³  pit loss -1.25 m³  trip 4.00 m³");
  EXPECT_NE(lines[4].find("Ёмкость 1"), std::string::npos) << lines[4];
  EXPECT_NE(lines[4].find("36.00 m³"), std::string::npos) << lines[4];
  EXPECT_NE(lines[4].find("Доливная"), std::string::npos) << "two tanks to a line";
  EXPECT_NE(lines[4].find("trip"), std::string::npos) << lines[4];
  EXPECT_EQ(lines[5].rfind("tank 3", 0), 0u) << "no caption: its number; " << lines[5];
  EXPECT_NE(lines[5].find("off"), std::string::npos) << "not in the active system";
  EXPECT_EQ(lines[6].rfind("parameter", 0), 0u) << "the measurements follow";

  in.mud = {};
  EXPECT_EQ(station::live_view_lines(in, 80, 24)[2].rfind("parameter", 0), 0u);
}

TEST(LiveView, ALostSourceSaysSoAndATinyTerminalStillGetsWhatFits) {
  auto in = busy_station(3, 0);
  in.source.lost = true;
  in.source.stale = true;
  in.source.lost_reason = "Input/output error";
  in.reopen_wait_ms = 3500;
  const auto lines = station::live_view_lines(in, 80, 24);
  EXPECT_NE(lines[1].find("source LOST (Input/output error), retry in 4 s"), std::string::npos)
      << lines[1];
  expect_fits(station::live_view_lines(busy_station(11, 40), 40, 10), 40, 10);
  expect_fits(station::live_view_lines(busy_station(11, 40), 20, 3), 20, 3);
}

}  // namespace

namespace {

// The rig's lines come right under the source and keep the measurements on screen; the run
// and its recording have a line of their own, whole within 80 columns.
TEST(LiveView, RigLinesNameDepthsOperationAndRun) {
  LiveViewInput in = busy_station(3, 0);
  station::Station::RigView rig;
  rig.bottom = 2500.456;
  rig.bit = 2480;
  rig.lag = 2471.2;
  rig.block = 12.5;
  rig.on_hook = false;
  rig.operation_name = "Наращивание";
  rig.forced = true;
  rig.work_type_name = "Бурение";
  rig.prod_time_name = "Производительное время";
  rig.race = 12;
  rig.race_active = true;
  rig.recording_file = "/var/lib/rigstation/records/0012.realtim";
  rig.recording_queue = 3;
  in.rig = rig;
  const auto lines = station::live_view_lines(in, 80, 24);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[2], "bottom 2500.46 m  bit 2480.00 m  lag 2471.20 m  block 12.50 m  in slips");
  EXPECT_EQ(lines[3],
            "operation: Наращивание (forced)  work: Бурение  time: Производительное время");
  EXPECT_EQ(lines[4], "run 12, recording 0012.realtim (queue 3)");
  EXPECT_EQ(lines[5].rfind("in hole 0 stands 0 pipes", 0), 0u) << lines[5];
  EXPECT_NE(lines[6].find("parameter"), std::string::npos);
}

// Alarms are on screen whatever its size: a line naming them under the title, and the rows
// in alarm first among the measurements, marked at both ends, a row the height leaves out too.
TEST(LiveView, AlarmsAreOnScreenWhateverItsSize) {
  auto in = busy_station(40, 0);
  in.rows[1].alarm = true;  // also stale
  in.rows[38].alarm = true;
  for (const auto& [columns, height] : std::vector<std::pair<std::size_t, std::size_t>>{
           {80, 24}, {120, 50}, {40, 10}, {20, 3}, {80, 2}, {80, 1}}) {
    SCOPED_TRACE(testing::Message() << columns << "x" << height);
    const auto lines = station::live_view_lines(in, columns, height);
    expect_fits(lines, columns, height);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[height == 1 ? 0 : 1].rfind("ALARM 2: Очень", 0), 0u);
    if (height < 24) continue;
    const std::pair<std::size_t, const char*> shown[] = {
        {4, "1234567.89"}, {5, "46913579.86"}, {6, "0.00"}};
    for (const auto& [at, value] : shown) {
      EXPECT_EQ(lines[at].rfind(at < 6 ? "! Очень" : "Очень", 0), 0u) << lines[at];
      EXPECT_NE(lines[at].find(value), std::string::npos) << lines[at];
      EXPECT_EQ(lines[at].find("ALARM") != std::string::npos, at < 6) << lines[at];
    }
    EXPECT_NE(lines[4].find("ALARM stale"), std::string::npos) << "both marks: " << lines[4];
  }
}

}  // namespace

namespace {

// What the start told (restored state, the error log) is printed before the view opens; in
// the view it would sit among the values for good. What the start created stays.
TEST(LiveView, AStationsViewKeepsTheStartNotesOut) {
  testing_support::TempDir dir;
  testing_support::Rig rig(dir.path());
  const auto created = rig.st->open({"emulator", "", true, ""});
  ASSERT_FALSE(created.empty());
  ASSERT_FALSE(rig.st->start_notes().empty());
  rig.ticks(1);
  std::string shown;
  for (const auto& l :
       station::live_view_lines(station::live_view_input(*rig.st, created, ""), 120, 50))
    shown += l + "\n";
  for (const auto& note : rig.st->start_notes())
    EXPECT_EQ(shown.find(note), std::string::npos) << note;
  // The line is cut to the view's width, and the home's path is as long as the checkout's.
  EXPECT_NE(shown.find("created " + created.front().substr(0, 60)), std::string::npos) << shown;
}

}  // namespace
