#include "calc/depth_calc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "calc/depth_calibration_format.h"
#include "lib/binary_stream.h"
#include "lib/ini_file.h"
#include "lib/module_list.h"
#include "support/error_of.h"
#include "support/module_state.h"

using namespace calc;
using testing::AllOf;
using testing::HasSubstr;
using testing_support::error_of;

namespace {

// The layered drum: 27→18 m at 20 pulses/m, 18→9 m at 22, 9→0 m at 24, read as steps.
DepthCalc layered_table() {
  DepthCalc dc("DepthCalc");
  dc.get_elem(0).count = 20;
  dc.get_elem(1).count = 22;
  dc.get_elem(2).count = 24;
  dc.set_mode(DepthCalc::kModeTable);
  dc.set_smooth_mode(1);
  return dc;
}

// Grid heights of the layered table walked from 0 to 27, worked out by hand: a pulse takes the
// coefficient at the height it starts from, so
//   index k = 0..216   at k/24          (9→0 range, 24/m; index 216 is 9.0, still 24/m)
//   index 217 + j      at 9 + 1/24 + j/22, j = 0..198   (index 415 is 18 + 1/24)
//   index 415 + m      at 18 + 1/24 + m/20, m = 0..180  (index 595 is 27 + 1/24)
//   index 596          the end of the span, 27
constexpr double kFirst22 = 9.0 + 1.0 / 24;
constexpr double kFirst20 = 18.0 + 1.0 / 24;

TEST(DolCalibrItem, CalibratesFromPulsesOverItsSpanAndKeepsItsTextForm) {
  DolCalibrItem item(27, 18, 0);
  item.set_counter(450);
  EXPECT_FLOAT_EQ(item.count, 50.0f);
  DolCalibrItem up(9, 18, 3);
  up.set_counter(180);
  EXPECT_FLOAT_EQ(up.count, 20.0f) << "the ends may come in either order";
  DolCalibrItem flat(12, 12, 33);
  flat.set_counter(500);
  EXPECT_FLOAT_EQ(flat.count, 33.0f) << "equal ends keep the old coefficient";
  EXPECT_FLOAT_EQ(DolCalibrItem(27, 18, 0).get_middle_depth(), 22.5f);

  std::string text;
  DolCalibrItem(27, 18.5f, 21.125f).set_to_string(text);
  EXPECT_EQ(text, "27.000,18.500,21.125");
  DolCalibrItem back;
  back.get_from_string(text);
  EXPECT_EQ(back, DolCalibrItem(27, 18.5f, 21.125f));
}

TEST(DolCalibrItem, MalformedTextIsRefusedWithTheReasonAndChangesNothing) {
  DolCalibrItem item(1, 2, 3);
  for (const char* bad :
       {"27,18", "27,18,20,5", "27,x,20", "27,18,", "nan,18,20", "27,18,inf", "1e300,0,20", ""}) {
    EXPECT_THROW(item.get_from_string(bad), DepthCalcError) << bad;
    EXPECT_EQ(item, DolCalibrItem(1, 2, 3)) << bad;
  }
  EXPECT_THAT(error_of<DepthCalcError>([&] { item.get_from_string("27,abc,20"); }),
              HasSubstr("\"abc\" is not a number"));
}

TEST(DepthCalc, SettersRefuseBadValuesAndTheCopyTakesOnlyTheSettings) {
  DepthCalc dc;
  EXPECT_FLOAT_EQ(dc.get_middle_depth(1), 13.5f);
  EXPECT_THROW(dc.get_depth1(3), std::out_of_range);
  dc.set_smooth_mode(3);
  EXPECT_EQ(dc.get_smooth_mode(), 3);
  dc.set_smooth_mode(4);
  EXPECT_EQ(dc.get_smooth_mode(), 0);
  dc.set_smooth_mode(2);
  dc.set_smooth_mode(-1);
  EXPECT_EQ(dc.get_smooth_mode(), 0);
  dc.set_elems_size(5);
  EXPECT_EQ(dc.get_elem(4), DolCalibrItem());
  dc.get_elem(0).count = 7;
  dc.set_defaults();
  ASSERT_EQ(dc.size(), 3u);
  EXPECT_EQ(dc.get_elem(0), DolCalibrItem(27, 18, 0));

  DepthCalc walked = layered_table();
  walked.set_corr_coeff(1.5);
  walked.smart_calc_tal(10, 12, 20, 0, 27);
  const DepthCalc copy(walked);
  EXPECT_EQ(copy.get_corr_coeff(), 1.5);
  EXPECT_EQ(copy.get_mode(), DepthCalc::kModeTable);
  EXPECT_EQ(copy.get_smooth_mode(), 1);
  EXPECT_EQ(copy.size(), 0u);
  EXPECT_EQ(copy.last_pulses(), 0);
  EXPECT_EQ(copy.last_travel(), 0.0f);
}

TEST(DepthCalc, CheckKeepsTheCorrectionWithinHalfAndDouble) {
  const std::pair<double, double> cases[] = {
      {0.3, 0.5}, {2.5, 2.0}, {std::nan(""), 0.5}, {1.25, 1.25}};
  for (const auto& [given, kept] : cases) {
    DepthCalc dc;
    dc.set_corr_coeff(given);
    dc.check();
    EXPECT_EQ(dc.get_corr_coeff(), kept) << given;
  }
}

TEST(DepthCalc, AFixedCoefficientWinsUnlessTheModeIsTheTable) {
  DepthCalc dc = layered_table();
  dc.set_mode(DepthCalc::kModeSingle);
  EXPECT_EQ(dc.calc_coeff(3, 25.0f), 25.0f);
  EXPECT_EQ(dc.calc_coeff(20, 25.0f), 25.0f);
  EXPECT_EQ(dc.calc_coeff(20, -1.0f), 20.0f) << "a negative coefficient asks for the table";
  dc.set_mode(DepthCalc::kModeTable);
  EXPECT_EQ(dc.calc_coeff(3, 25.0f), 24.0f) << "the table mode reads the table regardless";
}

// Hand-computed values of every smoothing over ranges 27→18 at 30, 18→9 at 20 and 9→0 at 10
// (middles 22.5, 13.5, 4.5), and the correction applied on top.
TEST(DepthCalc, SmoothModesInterpolateTheTableAsTheyShould) {
  DepthCalc dc;
  dc.get_elem(0).count = 30;
  dc.get_elem(1).count = 20;
  dc.get_elem(2).count = 10;

  dc.set_smooth_mode(0);  // straight lines through the middles, continued outside
  EXPECT_NEAR(dc.calc_coeff(18, -1), 25.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(13.5f, -1), 20.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(27, -1), 35.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(0, -1), 5.0, 1e-5);

  dc.set_smooth_mode(1);  // steps: each range holds its coefficient up to its far end
  EXPECT_NEAR(dc.calc_coeff(26, -1), 30.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(18.5f, -1), 30.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(18, -1), 20.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(9.5f, -1), 20.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(8.5f, -1), 10.0, 1e-5);
  EXPECT_NEAR(dc.calc_coeff(40, -1), 30.0, 1e-5) << "held beyond the table";
  EXPECT_NEAR(dc.calc_coeff(-5, -1), 10.0, 1e-5);

  dc.set_corr_coeff(1.5);
  EXPECT_NEAR(dc.calc_coeff(26, -1), 45.0, 1e-4);
  dc.set_smooth_mode(0);
  EXPECT_NEAR(dc.calc_coeff(18, -1), 37.5, 1e-4);
  dc.set_corr_coeff(1.0);

  // The cubic kinds over four ranges whose coefficients are 10, 10, 20, 20 (middles 4.5,
  // 13.5, 22.5, 31.5). Monotone cubic: the slopes at 13.5 and 22.5 are zero (a flat side), so
  // a quarter of the way (15.75) the Hermite cubic gives 10·0.84375 + 20·0.15625 = 11.5625,
  // where straight lines give 12.5.
  DepthCalc four;
  four.set_elems_size(4);
  const float ends[] = {0, 9, 18, 27, 36};
  const float coeffs[] = {10, 10, 20, 20};
  for (std::size_t i = 0; i < 4; ++i)
    four.get_elem(i) = DolCalibrItem(ends[i], ends[i + 1], coeffs[i]);
  four.set_smooth_mode(0);
  EXPECT_NEAR(four.calc_coeff(15.75f, -1), 12.5, 1e-5);
  four.set_smooth_mode(2);
  EXPECT_NEAR(four.calc_coeff(15.75f, -1), 11.5625, 1e-4);
  EXPECT_NEAR(four.calc_coeff(18, -1), 15.0, 1e-4) << "symmetric: the middle of the rise";
  four.set_smooth_mode(3);
  lib::Interpolation akima;  // the middles set by hand, read with the Akima kind
  akima.set_size(4);
  for (std::size_t i = 0; i < 4; ++i) akima.set_point(i, 4.5 + 9.0 * i, coeffs[i]);
  const double expected = akima.get_value(15.75, lib::Interpolation::kAkima);
  EXPECT_NE(expected, 12.5);
  EXPECT_NE(expected, 11.5625);
  EXPECT_NEAR(four.calc_coeff(15.75f, -1), expected, 1e-4);
}

TEST(DepthCalc, ATableEditedThroughItsItemsIsReadAfresh) {
  DepthCalc dc;
  dc.set_smooth_mode(1);
  dc.get_elem(0).count = 30;
  EXPECT_NEAR(dc.calc_coeff(20, -1), 30.0, 1e-5);
  dc.get_elem(0).count = 40;  // through the reference, no setter involved
  EXPECT_NEAR(dc.calc_coeff(20, -1), 40.0, 1e-5);
  dc.get_elements_list().push_back(DolCalibrItem(40, 27, 50));
  EXPECT_NEAR(dc.calc_coeff(30, -1), 50.0, 1e-5);
}

TEST(DepthCalc, ASmoothingThatCannotUseTheTableSaysSoOnce) {
  std::vector<std::string> told;
  DepthCalc dc;
  dc.set_error_sink([&](const std::string& m) { told.push_back(m); });
  dc.set_smooth_mode(2);  // a cubic needs four points, the default table has three
  dc.get_elem(0).count = 30;
  dc.calc_coeff(20, -1);
  dc.calc_coeff(21, -1);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("DepthCalc"), std::string::npos) << told[0];
}

TEST(DepthCalc, SingleCoefficientModeDividesAndLeavesTheLastWalkAlone) {
  DepthCalc dc = layered_table();
  dc.smart_calc_tal(50, 12, 22, 0, 27);
  const float travel = dc.last_travel();
  dc.set_mode(DepthCalc::kModeSingle);
  EXPECT_FLOAT_EQ(dc.smart_calc_tal(300, 10, 150, 0, 27), 2.0f);
  EXPECT_FLOAT_EQ(dc.smart_calc_tal(-300, 10, 150, 0, 27), -2.0f);
  EXPECT_EQ(dc.smart_calc_tal(300, 10, 0, 0, 27), 0.0f) << "a zero coefficient gives no travel";
  EXPECT_FLOAT_EQ(dc.smart_calc_tal(240, 5, -1, 0, 27), 10.0f) << "-1: the table's 24/m";
  EXPECT_EQ(dc.last_travel(), travel);
  EXPECT_EQ(dc.last_pulses(), 50);
}

// The walk over the layered drum from its grid index, with the heights worked out by hand
// above: the last grid height not above 12 m is index 282, not above 20 m index 454.
TEST(DepthCalcWalk, PulsesOverTheLayeredDrum) {
  const struct {
    const char* what;
    int pulses;
    float from;
    double travel;
    int index;
  } cases[] = {
      {"within one range", 50, 12, 12 - (kFirst22 + 15.0 / 22), 232},
      {"across a boundary", 100, 12, 12 - 182.0 / 24, 182},
      {"across two boundaries", 300, 20, 20 - 154.0 / 24, 154},
      {"negative, within one range", -50, 12, 12 - (kFirst22 + 115.0 / 22), 332},
      {"negative, across 18 m", -150, 12, 12 - (kFirst20 + 17.0 / 20), 432},
      {"below the span, at the coefficient at its start", 30, 1.01f, 0.01 + 30.0 / 24, -6},
      {"above the span, at the coefficient at its end", -200, 26,
       (26 - (kFirst20 + 159.0 / 20)) - 200.0 / 20, 774},
      {"from the end of the span", 10, 27, 27 - (kFirst20 + 171.0 / 20), 586},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DepthCalc dc = layered_table();
    const float travel = dc.smart_calc_tal(c.pulses, c.from, 22, 0, 27);
    EXPECT_NEAR(travel, c.travel, 1e-4);
    EXPECT_EQ(dc.last_index(), c.index);
    EXPECT_EQ(dc.last_pulses(), c.pulses);
    EXPECT_NEAR(dc.last_travel(), travel, 1e-6);
    EXPECT_NEAR(dc.last_coeff(), c.pulses / travel, 1e-3) << "pulses and travel share their sign";
  }
  // The same count at one coefficient would be off by 13 cm.
  EXPECT_GT(std::fabs(layered_table().smart_calc_tal(100, 12, 22, 0, 27) - 100.0f / 22), 0.12);
}

TEST(DepthCalcWalk, OneCoefficientEverywhereGivesPulsesOverItPlusTheOffsetToTheGrid) {
  for (float c : {20.0f, 33.0f, 150.0f}) {
    for (float height : {3.31f, 7.77f, 15.013f}) {
      for (int pulses : {1, 17, 120, -40}) {
        DepthCalc dc;
        for (std::size_t i = 0; i < dc.size(); ++i) dc.get_elem(i).count = c;
        dc.set_mode(DepthCalc::kModeTable);
        const double below = std::floor(height * c) / c;  // last grid height not above
        const float travel = dc.smart_calc_tal(pulses, height, 1, 0, 27);
        EXPECT_NEAR(travel, pulses / c + (height - below), 2e-4)
            << "c " << c << " height " << height << " pulses " << pulses;
      }
    }
  }
}

TEST(DepthCalcWalk, AZeroTableFallsBackToTheGivenCoefficient) {
  DepthCalc dc;  // the default table: all coefficients 0
  dc.set_mode(DepthCalc::kModeTable);
  EXPECT_NEAR(dc.smart_calc_tal(250, 10.01f, 25, 0, 27), 10.0 + 0.01, 1e-4);
  EXPECT_EQ(dc.last_index(), 0);
}

TEST(DepthCalcWalk, NonPositiveCoefficientsWithoutAFallbackFailClearlyInsteadOfHanging) {
  DepthCalc dc = layered_table();
  dc.smart_calc_tal(50, 12, 22, 0, 27);
  for (float bad : {0.0f, -20.0f}) {
    for (float fallback : {0.0f, -1.0f}) {
      DepthCalc t = layered_table();
      t.get_elem(1).count = bad;  // 18→9 m
      EXPECT_THAT(error_of<DepthCalcError>([&] { t.smart_calc_tal(50, 12, fallback, 0, 27); }),
                  AllOf(HasSubstr("not positive"), HasSubstr("9.")))
          << "coefficient " << bad << ", fallback " << fallback;
      EXPECT_EQ(t.last_pulses(), 0) << "a failed walk leaves no result";
    }
  }
  // A negative range with a positive fallback walks at the fallback.
  DepthCalc neg;
  for (std::size_t i = 0; i < neg.size(); ++i) neg.get_elem(i).count = -20;
  neg.set_mode(DepthCalc::kModeTable);
  EXPECT_NEAR(neg.smart_calc_tal(40, 10.01f, 20, 0, 27), 2.0 + 0.01, 1e-4);

  DepthCalc nan_height = layered_table();
  EXPECT_THROW(nan_height.smart_calc_tal(5, std::nanf(""), 22, 0, 27), DepthCalcError);
  EXPECT_THROW(nan_height.smart_calc_tal(5, 5, 22, 0, INFINITY), DepthCalcError);
}

TEST(DepthCalcWalk, AWalkLongerThanTheCapStopsWithAnError) {
  DepthCalc dc;
  for (std::size_t i = 0; i < dc.size(); ++i) dc.get_elem(i).count = 1e5f;  // 2.7 million pulses
  dc.set_mode(DepthCalc::kModeTable);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_THAT(error_of<DepthCalcError>([&] { dc.smart_calc_tal(10, 5, 20, 0, 27); }),
              HasSubstr(std::to_string(DepthCalc::kMaxWalkSteps)));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
  // Just inside the cap still computes: 30 m at 30 000 pulses/m is 900 000 pulses.
  for (std::size_t i = 0; i < dc.size(); ++i) dc.get_elem(i).count = 30000;
  EXPECT_NEAR(dc.smart_calc_tal(30000, 10.00001f, 20, 0, 27), 1.0, 1e-3);
  // A coefficient so large that a pulse does not move the block (1e-30 m added to 5 m) is
  // caught at the first step.
  for (std::size_t i = 0; i < dc.size(); ++i) dc.get_elem(i).count = 1e30f;
  EXPECT_THAT(error_of<DepthCalcError>([&] { dc.smart_calc_tal(10, 6, 20, 5, 27); }),
              HasSubstr("does not move the block"));
}

// ---- settings and grids ----------------------------------------------------------------------

TEST(DepthCalcSettings, BadSettingsAreCorrectedAndEachIsNamed) {
  lib::IniFile ini;
  ini.load_text(
      "[DepthCalcOpts]\nmode=7\nsmooth_mode=abc\ncorr_coeff=3.5\n"
      "[DepthCalc]\ncount=3\n1=30,20,21\n2=20,10,oops\n3=10,0,25\n");
  DepthCalc dc("DepthCalc");
  const std::vector<std::string> notes = dc.load_settings(ini);
  std::string all;
  for (const auto& n : notes) all += n + "\n";
  EXPECT_EQ(dc.get_mode(), 1) << "clamped";
  EXPECT_EQ(dc.get_smooth_mode(), 0) << "malformed: the default";
  EXPECT_EQ(dc.get_corr_coeff(), 2.0);
  EXPECT_NE(all.find("[DepthCalcOpts] mode = \"7\""), std::string::npos) << all;
  EXPECT_NE(all.find("smooth_mode = \"abc\""), std::string::npos) << all;
  EXPECT_NE(all.find("corr_coeff = \"3.5\""), std::string::npos) << all;
  EXPECT_NE(all.find("line 2 skipped"), std::string::npos) << all;
  EXPECT_NE(all.find("\"oops\" is not a number"), std::string::npos) << all;
  ASSERT_EQ(dc.size(), 2u) << "the good lines are kept";
  EXPECT_EQ(dc.get_elem(0), DolCalibrItem(30, 20, 21));
  EXPECT_EQ(dc.get_elem(1), DolCalibrItem(10, 0, 25));
}

TEST(DepthCalcSettings, AFileWithoutTheTableKeepsTheTableHeld) {
  lib::IniFile ini;
  ini.load_text("[DepthCalcOpts]\nmode=1\n");
  DepthCalc dc("DepthCalc");
  dc.get_elem(0).count = 19;
  EXPECT_TRUE(dc.load_settings(ini).empty());
  EXPECT_EQ(dc.get_mode(), 1);
  ASSERT_EQ(dc.size(), 3u);
  EXPECT_EQ(dc.get_elem(0).count, 19.0f);
  // An unnamed calculator keeps its table under the default name.
  lib::IniFile out;
  DepthCalc().save_settings(out);
  EXPECT_EQ(out.get_string(depth_format::kDefaultModuleName, "count", ""), "3");
}

// The marks column as the editor hands it over, one mark a row below the title.
lib::TextGrid marks_grid(const std::vector<std::string>& marks) {
  lib::TextGrid grid({"Метка, м"});
  for (std::size_t i = 0; i < marks.size(); ++i) grid.set_cell(i + 1, 0, marks[i]);
  return grid;
}

TEST(DepthCalcGrid, MarksBecomeRangesAndTooFewAreRefused) {
  DepthCalc dc;
  lib::TextGrid grid;
  dc.set_opts_to_grid(grid);
  ASSERT_EQ(grid.row_count(), 5u);
  EXPECT_EQ(grid.cell(1, 0), "27.000");
  EXPECT_EQ(grid.cell(3, 0), "9.000");
  EXPECT_EQ(grid.cell(4, 0), "0.000") << "the end of the last range";

  dc.get_opts_from_grid(marks_grid({"27", "", "18,5", " 9 "}));
  ASSERT_EQ(dc.size(), 2u);
  EXPECT_EQ(dc.get_elem(0), DolCalibrItem(27, 18.5f, 0));
  EXPECT_EQ(dc.get_elem(1), DolCalibrItem(18.5f, 9, 0));

  EXPECT_EQ(error_of<DepthCalcError>([&] {
              dc.get_opts_from_grid(marks_grid({"27", "  "}));
            }),
            "Слишком мало меток глубины!\nКоличество меток должно быть болше двух.");
  EXPECT_EQ(dc.size(), 2u) << "the table is not changed";

  EXPECT_THAT(error_of<DepthCalcError>([&] {
                dc.get_opts_from_grid(marks_grid({"27", "18м", "9"}));
              }),
              HasSubstr("row 2"));
  EXPECT_EQ(dc.get_elem(0), DolCalibrItem(27, 18.5f, 0));
}

TEST(DepthCalcGrid, TheTableGridRoundTripsAndRefusesBadCells) {
  DepthCalc dc = layered_table();
  dc.get_elem(1).count = 22.125f;
  lib::TextGrid grid;
  dc.set_data_to_grid(grid);
  EXPECT_EQ(grid.titles(),
            (std::vector<std::string>{"Таль.1, м", "Таль.2, м", "Коэф.ДОЛ,\nимп/м"}));
  ASSERT_EQ(grid.row_count(), 4u);
  EXPECT_EQ(grid.row(2), (std::vector<std::string>{"18.000", "9.000", "22.125"}));

  DepthCalc other;
  grid.set_data_row_count(4);  // a blank row the editor left at the end
  other.get_data_from_grid(grid);
  EXPECT_EQ(other.get_elements_list(), dc.get_elements_list());

  grid.set_cell(3, 2, "");
  EXPECT_THAT(error_of<DepthCalcError>([&] { other.get_data_from_grid(grid); }),
              AllOf(HasSubstr("row 3"), HasSubstr("Коэф.ДОЛ, имп/м")));
  EXPECT_EQ(other.get_elements_list(), dc.get_elements_list()) << "the table is not changed";
}

// ---- state ------------------------------------------------------------------------------------

TEST(DepthCalcState, TheLastWalkSurvivesTheStateFileAndADamagedOneIsRefused) {
  DepthCalc dc = layered_table();
  dc.smart_calc_tal(100, 12, 22, 0, 27);
  DepthCalc back("DepthCalc");
  EXPECT_TRUE(testing_support::load_state(back, testing_support::save_state(dc)).clean());
  EXPECT_EQ(back.last_index(), 182);
  EXPECT_EQ(back.last_pulses(), 100);
  EXPECT_EQ(back.last_travel(), dc.last_travel());
  EXPECT_EQ(back.last_coeff(), dc.last_coeff());
  EXPECT_EQ(back.get_mode(), 0) << "the settings belong to the settings file";

  // A block whose travel is not a number keeps the module as it was.
  lib::io::BinaryMemoryOutputStream payload;
  lib::serial_list writer(payload, 1);
  std::int32_t i = 5, p = 6;
  float c = 1, t = std::nanf("");
  writer.add(i).add(p).add(c).add(t);
  lib::io::BinaryMemoryInputStream bad(payload.data());
  lib::serial_list reader(bad, 1);
  unsigned version = 1;
  EXPECT_THROW(back.get_serial_list(reader, version), lib::io::StreamError);
  EXPECT_EQ(back.last_pulses(), 100);
}

}  // namespace
