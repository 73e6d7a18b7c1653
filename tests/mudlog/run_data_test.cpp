// What the mud log takes from a run's recordings and journals: each curve from its own file
// at that file's depth, the drill time from the depth lines' times, the journals' texts at
// the depth the hole had when they were written, and a clear note for everything missing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "journals/remarks_file.h"
#include "lib/file_system.h"
#include "mudlog/layout.h"
#include "mudlog/recording_maker.h"
#include "mudlog/run_data.h"
#include "support/fakes.h"

namespace {

using mudlog::DepthSource;
using mudlog_test::Line;
using mudlog_test::param;
using mudlog_test::RecordingMaker;
using testing_support::TempDir;

constexpr std::uint32_t kStart = 1800000000;  // the run's start, local seconds

const char* kLayout = R"([track]
kind = depth
[track]
kind = curves
curve = @drill_time left=0 right=10
curve = нагрузка left=0 right=20
curve = нет_такого left=0 right=1
curve = пустой left=0 right=1
[track]
kind = curves
against = lag
curve = сумм_газ scale=log left=0.01 right=100
[track]
kind = text
journals = remarks
)";

// Depth lines every 0.5 m from 1000 m; line i took (i % 3 + 1) half-minutes, so its drill
// time is (i % 3 + 1) min/m. The weight on bit is i; the lag file's gas is the depth less
// 1000 m, so a value tells the depth it was plotted at.
struct RecordedRun {
  TempDir dir;
  std::string depth_file = dir.file("0001.realdep");
  std::string lag_file = dir.file("0001.reallag");
  std::string remarks = dir.file("remarks.txt");
  std::vector<std::uint32_t> times;

  explicit RecordedRun(bool with_lag = true, int lines = 21) {
    RecordingMaker depth({param("нагрузка", "т"), param("пустой")});
    depth.text({{"скважина", "12"},
                {"нач_время", std::to_string(kStart - 100)},
                {"нач_глубина", "999.8"},
                {"шаг_записи_по_глубине", "0.5"}});
    RecordingMaker lag({param("сумм_газ", "%")});
    std::uint32_t t = kStart;
    for (int i = 0; i < lines; ++i) {
      t += static_cast<std::uint32_t>((i % 3 + 1) * 30);
      times.push_back(t);
      const double d = 1000 + 0.5 * i;
      depth.line({d, t, i >= 10 && i < 14 ? 8 : 2, {static_cast<float>(i), NAN}});
      lag.line({d, t + 600, 2, {static_cast<float>(d - 1000)}});
    }
    depth.save(depth_file);
    if (with_lag) lag.save(lag_file);
  }
  mudlog::RunData load(std::optional<mudlog::DepthRange> range = std::nullopt) {
    mudlog::RunFiles f;
    f.depth_file = depth_file;
    f.remarks_file = remarks;
    const auto layout = mudlog::parse_layout(kLayout, "layout.ini");
    EXPECT_TRUE(layout.problems.empty()) << layout.problems.front();
    return mudlog::load_run(f, layout.layout, lib::posix_file_system(), range);
  }
};

bool has_note(const mudlog::RunData& r, const std::string& part) {
  for (const auto& n : r.notes)
    if (n.find(part) != std::string::npos) return true;
  return false;
}

TEST(RunData, EachCurveComesFromItsFileAndIsPlottedAtThatFilesDepth) {
  RecordedRun run;
  const mudlog::RunData r = run.load();
  ASSERT_EQ(r.depths.size(), 21u);
  EXPECT_DOUBLE_EQ(r.first_depth, 1000);
  EXPECT_DOUBLE_EQ(r.last_depth, 1010);
  EXPECT_DOUBLE_EQ(r.step, 0.5);
  EXPECT_DOUBLE_EQ(r.last_time, run.times.back());
  const mudlog::Series* gas = r.find(DepthSource::lag, "сумм_газ");
  ASSERT_NE(gas, nullptr);
  ASSERT_EQ(gas->depth.size(), 21u);
  for (std::size_t i = 0; i < gas->depth.size(); ++i)
    EXPECT_FLOAT_EQ(gas->value[i], static_cast<float>(gas->depth[i] - 1000));
  const mudlog::Series* wob = r.find(DepthSource::depth, "нагрузка");
  ASSERT_NE(wob, nullptr);
  EXPECT_FLOAT_EQ(wob->value[7], 7.0f);
  EXPECT_EQ(r.curve_info(DepthSource::depth, "нагрузка")->unit, "т");
  const mudlog::Series* drill = r.find(DepthSource::depth, "@drill_time");
  ASSERT_NE(drill, nullptr);
  EXPECT_TRUE(std::isnan(drill->value[0]));  // the first line has none before it
  for (std::size_t i = 1; i < drill->value.size(); ++i)
    EXPECT_NEAR(drill->value[i], static_cast<double>(i % 3 + 1), 1e-4) << "line " << i;
  // Operations as spans reaching halfway to the neighbours: drilling, the connection, drilling.
  ASSERT_EQ(r.operation_spans.size(), 3u);
  EXPECT_DOUBLE_EQ(r.operation_spans[1].top, 1004.75);
  EXPECT_DOUBLE_EQ(r.operation_spans[1].bottom, 1006.75);
  EXPECT_EQ(r.operation_spans[1].code, 8);
}

TEST(RunData, ARangeKeepsItsLinesAndAFewMetresAroundButKnowsTheWholeRun) {
  RecordedRun run(true, 61);  // 1000 .. 1030 m
  const mudlog::RunData r = run.load(mudlog::DepthRange{1015, 1016});
  EXPECT_DOUBLE_EQ(r.depths.front(), 1010);
  EXPECT_DOUBLE_EQ(r.depths.back(), 1021);
  EXPECT_DOUBLE_EQ(r.first_depth, 1000);
  EXPECT_DOUBLE_EQ(r.last_depth, 1030);
  EXPECT_TRUE(has_note(r, "'пустой' has no values in 0001.realdep between 1015 and 1016 m"));
}

TEST(RunData, JournalTextsStandAtTheDepthTheHoleHadWhenTheyWereWritten) {
  RecordedRun run;
  struct Case {
    std::uint32_t time;
    double depth;  // NAN: not on this run's log
  };
  const Case cases[] = {
      {kStart - 1000, NAN},          // before the run began
      {kStart - 50, 999.8},          // the run began, no line yet: its start depth
      {run.times[4], 1002.0},        // the moment line 4 was made
      {run.times[4] + 10, 1002.0},   // after it, before the next
      {run.times[20] + 5000, 1010},  // after the last line, the run still on
  };
  std::vector<text::Record> records;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    text::Record rec;
    rec.time = cases[i].time;
    rec.text = "remark " + std::to_string(i);
    records.push_back(rec);
  }
  lib::write_file_atomically(run.remarks, text::write_remarks_file(records),
                             lib::posix_file_system(), false);
  const mudlog::RunData r = run.load();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto it = std::find_if(r.texts.begin(), r.texts.end(), [&](const mudlog::LogText& t) {
      return t.text == "remark " + std::to_string(i);
    });
    if (std::isnan(cases[i].depth)) {
      EXPECT_EQ(it, r.texts.end()) << "remark " << i;
    } else {
      ASSERT_NE(it, r.texts.end()) << "remark " << i;
      EXPECT_NEAR(it->depth, cases[i].depth, 1e-4) << "remark " << i;
    }
  }
}

TEST(RunData, ADamagedStretchIsNamedAndTheLinesAroundItAreDrawn) {
  TempDir dir;
  RecordingMaker depth({param("нагрузка")});
  depth.line({1000, kStart, 2, {1}}).line({1000.5, kStart + 60, 2, {2}});
  depth.damage().line({1001, kStart + 120, 2, {3}});
  // A depth written twice (a run taken up again): the later line stands.
  depth.line({1000.5, kStart + 180, 2, {9}});
  depth.save(dir.file("0002.realdep"));
  mudlog::RunFiles f;
  f.depth_file = dir.file("0002.realdep");
  const auto layout = mudlog::parse_layout("[track]\ncurve = нагрузка\n", "l.ini");
  const mudlog::RunData r = mudlog::load_run(f, layout.layout, lib::posix_file_system());
  EXPECT_TRUE(r.damaged);
  EXPECT_TRUE(has_note(r, "0002.realdep: offset "));
  const mudlog::Series* wob = r.find(DepthSource::depth, "нагрузка");
  ASSERT_NE(wob, nullptr);
  EXPECT_EQ(wob->depth, (std::vector<double>{1000, 1000.5, 1001}));
  EXPECT_EQ(wob->value, (std::vector<float>{1, 9, 3}));
}

TEST(RunData, OnlyDepthFilesNamedByARunNumberAreRuns) {
  TempDir dir;
  for (const char* name : {"0002.realdep", "0010.realdep", "0002.reallag", "notes.realdep",
                           ".realdep", "0003.realtim", "12345.realdep"}) {
    lib::write_file_atomically(dir.file(name), "", lib::posix_file_system(), false);
  }
  const auto runs = mudlog::list_runs(dir.path(), lib::posix_file_system());
  const std::vector<std::pair<int, std::string>> expected = {
      {2, "0002.realdep"}, {10, "0010.realdep"}, {12345, "12345.realdep"}};
  EXPECT_EQ(runs, expected);
}

}  // namespace
