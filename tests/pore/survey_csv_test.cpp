#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <numbers>
#include <string>

#include "pore/survey_csv.h"
#include "pore/survey_table.h"
#include "support/fakes.h"
#include "well_builders.h"

namespace {

using pore_tests::station;
using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

std::vector<float> depths(const std::vector<pore::WellborePoint>& points) {
  std::vector<float> d;
  for (const auto& p : points) d.push_back(p.depth);
  return d;
}

TEST(SurveyCsvTest, ReadsStationsWithOrWithoutTitles) {
  auto titled = pore::parse_survey_csv("MD;Inc;Azi;TVD\n0;0;0;0\n100;1,5;45.25;99.99\n");
  ASSERT_THAT(titled.problems, IsEmpty());
  ASSERT_EQ(titled.points.size(), 2u);
  EXPECT_EQ(titled.points[1].zenit, 1.5f);
  EXPECT_EQ(titled.points[1].azimut, 45.25f);
  EXPECT_EQ(titled.points[1].z, 0);  // computed columns of other programs are not taken

  auto bare = pore::parse_survey_csv("\xEF\xBB\xBF# from the MWD company\r\n10,1,2\r\n20,2,3\r\n");
  EXPECT_THAT(bare.problems, IsEmpty());
  EXPECT_THAT(depths(bare.points), ElementsAre(10, 20));
}

TEST(SurveyCsvTest, UnsortedStationsAreSortedAndRepeatedDepthsReported) {
  auto r = pore::parse_survey_csv("300;3;30\n100;1;10\n200;2;20\n100;9;90\n");
  EXPECT_THAT(depths(r.points), ElementsAre(100, 200, 300));
  EXPECT_EQ(r.points[0].zenit, 1);  // the first reading at 100 m stays
  EXPECT_THAT(r.problems, ElementsAre(HasSubstr("line 4: measured depth 100 given twice")));
}

TEST(SurveyCsvTest, AzimuthsAreBroughtIntoOneTurn) {
  auto r = pore::parse_survey_csv("10;1;-30\n20;1;370\n30;1;360\n40;1;-400\n");
  ASSERT_EQ(r.points.size(), 3u);
  EXPECT_EQ(r.points[0].azimut, 330);
  EXPECT_EQ(r.points[1].azimut, 10);
  EXPECT_EQ(r.points[2].azimut, 0);
  EXPECT_THAT(r.problems, ElementsAre(HasSubstr("line 4: azimuth")));
}

TEST(SurveyCsvTest, BadRowsAreReportedWithTheirLineNumbers) {
  const std::string text =
      "глубина;зенит;азимут\n"  // 1: titles
      "100;1;10\n"              // 2
      "abc;1;10\n"              // 3: a second title row is an error
      "-5;1;10\n"               // 4: negative depth
      "nan;1;10\n"              // 5
      "200;190;10\n"            // 6: inclination past 180
      "300;1\n"                 // 7: azimuth missing
      "\n"                      // 8: blank, skipped
      "400;2;20;;\n"            // 9: fine, padded
      ";;\n";                   // 10: bare separators, skipped
  auto r = pore::parse_survey_csv(text);
  EXPECT_THAT(depths(r.points), ElementsAre(100, 400));
  EXPECT_THAT(r.problems, ElementsAre(HasSubstr("line 3: measured depth \"abc\""),
                                      HasSubstr("line 4:"), HasSubstr("line 5:"),
                                      HasSubstr("line 6: inclination"), HasSubstr("line 7:")));
}

TEST(SurveyCsvTest, LoadReplacesStationsOnlyFromAGoodFile) {
  testing_support::TempDir dir;
  pore::Wellbore w;
  w.set_points({station(42, 0, 0)});
  std::vector<std::string> problems;

  lib::write_file_atomically(dir.file("bad.csv"), "10;1;1\n20;x;1\n", lib::posix_file_system());
  EXPECT_FALSE(pore::load_survey_csv(dir.file("bad.csv"), w, problems, lib::posix_file_system()));
  EXPECT_THAT(problems, ElementsAre(HasSubstr("line 2")));
  EXPECT_THAT(depths(w.points_copy()), ElementsAre(42));

  EXPECT_FALSE(pore::load_survey_csv(dir.file("none.csv"), w, problems, lib::posix_file_system()));
  EXPECT_THAT(depths(w.points_copy()), ElementsAre(42));

  lib::write_file_atomically(dir.file("good.csv"), "20;1;1\n10;1;1\n", lib::posix_file_system());
  EXPECT_TRUE(pore::load_survey_csv(dir.file("good.csv"), w, problems, lib::posix_file_system()));
  EXPECT_THAT(depths(w.points_copy()), ElementsAre(10, 20));

  pore::save_survey_csv(dir.file("out.csv"), w, lib::posix_file_system());
  pore::Wellbore again;
  EXPECT_TRUE(
      pore::load_survey_csv(dir.file("out.csv"), again, problems, lib::posix_file_system()));
  EXPECT_EQ(again.points_copy(), w.points_copy());
}

// `rigstation survey /dev/zero` and an import from a FIFO fed forever stop at the survey
// limit with a reason naming it; the stations stay as they were.
TEST(SurveyCsvTest, AnEndlessInputIsRefusedAtTheSurveyLimit) {
  testing_support::EndlessFileSystem endless;
  pore::Wellbore wellbore;
  wellbore.set_points({station(0, 0, 0), station(100, 1, 45)});
  std::vector<std::string> problems;
  EXPECT_FALSE(pore::load_survey_csv("/dev/endless", wellbore, problems, endless));
  EXPECT_EQ(endless.bytes_read, 4 * 1024 * 1024 + 1);
  EXPECT_THAT(problems, ElementsAre(AllOf(HasSubstr("/dev/endless"), HasSubstr("4 MiB"))));
  EXPECT_EQ(wellbore.points_copy().size(), 2u);
}

// ---- the computed trajectory for other programs ---------------------------------------------

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> f(1);
  for (char c : line) {
    if (c == sep) {
      f.emplace_back();
    } else {
      f.back() += c;
    }
  }
  return f;
}

TEST(TrajectoryCsvTest, EveryValueReadsBackExactlyAndTheStationsReadBackAsASurvey) {
  pore::Wellbore w;
  // Values no short decimal holds: a third of a degree, an azimuth across north.
  w.set_points({station(0, 0, 0), station(1000.1f, 1.0f / 3, 359.9f), station(1100, 45.5f, 12.3f)});
  w.calculate(pore::WbCalcMethod::kMinimumCurvature, {});
  const auto points = w.points_copy();
  const auto results = w.results();
  const std::string text = pore::format_trajectory_csv(points, results, pore::DoglegUnit::kPer30m);

  std::vector<std::string> lines;
  for (const std::string& l : split(text, '\n')) {
    if (!l.empty()) lines.push_back(l);
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "глубина_м;зенит_град;азимут_град;верт_глубина_м;абс_отметка_м;север_м;восток_м;"
            "смещение_м;искривление_град;интенсивность_град_на_30м");
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto cells = split(lines[i + 1], ';');
    ASSERT_EQ(cells.size(), 10u) << lines[i + 1];
    // The stored 32-bit measurements come back to the bit, and so do the 64-bit results.
    EXPECT_EQ(std::strtof(cells[0].c_str(), nullptr), points[i].depth);
    EXPECT_EQ(std::strtof(cells[1].c_str(), nullptr), points[i].zenit);
    EXPECT_EQ(std::strtof(cells[2].c_str(), nullptr), points[i].azimut);
    const pore::StationResult& r = results[i];
    const double expected[] = {r.vertical,
                               r.abs_level,
                               r.north,
                               r.east,
                               r.displacement,
                               r.dogleg * 180 / std::numbers::pi,
                               r.severity(pore::DoglegUnit::kPer30m)};
    for (int c = 0; c < 7; ++c)
      EXPECT_EQ(std::strtod(cells[3 + c].c_str(), nullptr), expected[c]) << cells[3 + c];
  }
  // Not rounded to the table's two decimals.
  EXPECT_GT(split(lines[3], ';')[5].size(), 8u);

  // The survey reader takes the file back, computed columns ignored.
  const auto back = pore::parse_survey_csv(text);
  EXPECT_THAT(back.problems, IsEmpty());
  EXPECT_EQ(back.points.size(), 3u);
  EXPECT_EQ(back.points[1].zenit, points[1].zenit);
}

TEST(TrajectoryCsvTest, ResultsOfAnotherStationListAreRefused) {
  pore::Wellbore w;
  w.set_points({station(0, 0, 0), station(30, 3, 0)});
  w.calculate(pore::WbCalcMethod::kMinimumCurvature, {});
  EXPECT_THROW(pore::format_trajectory_csv(w.points_copy(), {}, pore::DoglegUnit::kPer30m),
               std::invalid_argument);
}

TEST(TrajectoryCsvTest, ShortestTextReadsBackToTheSameValue) {
  EXPECT_EQ(pore::shortest_text(0.1), "0.1");
  EXPECT_EQ(pore::shortest_text(0.1f), "0.1");
  EXPECT_EQ(pore::shortest_text(-0.0), "0");
  EXPECT_EQ(pore::shortest_text(1229.5), "1229.5");
  for (double v : {1.0 / 3, 2.0 / 3 * 1e-300, 5712.749123456789, -0.000123}) {
    EXPECT_EQ(std::strtod(pore::shortest_text(v).c_str(), nullptr), v);
  }
}

}  // namespace
