// Turning raw inputs into engineering values: the linear conversion, calibration points,
// the hook-load factor, the decay correction of radioactive density meters, and shifting
// a calibration to a wanted value.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "params/calibration_check.h"
#include "params/param.h"

namespace {

using params::Param;
using params::UnitCalibrPoint;

Param linear(const char* id, float range, float zero) {
  Param p;
  p.identifier = id;
  p.range = range;
  p.zero = zero;
  return p;
}

Param calibrated(std::initializer_list<UnitCalibrPoint> points) {
  Param p;
  p.identifier = "давление_на_входе";
  p.range = 1000;  // must not matter once points exist
  p.zero = 77;
  p.points = points;
  return p;
}

const lib::DateTime kNow{45000.0};

Param hook(Param p) {
  p.identifier = "вес_на_крюке";
  return p;
}

// Linear rows span their range over five volts; calibrated rows interpolate between their
// points and extend the end segments; the factor scales only an uncalibrated hook load.
TEST(Conversion, ValuesByInputAndFactor) {
  struct Case {
    const char* name;
    Param row;
    double factor;
    std::vector<std::pair<double, double>> volts_to_value;
  };
  const Case cases[] = {
      {"linear", linear("давление_на_входе", 250, 0), 1, {{5, 250}, {2, 100}, {0, 0}}},
      {"linear shifted", linear("давление_на_входе", 250, -12.5f), 1, {{1, 50 - 12.5}}},
      {"hook factor", linear("вес_на_крюке", 20, 0), 2, {{5, 40}}},
      {"hook factor any case", linear("ВЕС_НА_КРЮКЕ", 20, 0), 2, {{5, 40}}},
      {"hook factor not on zero", linear("вес_на_крюке", 20, 3), 2, {{5, 43}}},
      {"factor ignored elsewhere", linear("нагрузка", 20, 0), 2, {{5, 20}}},
      {"one point is a proportion", calibrated({{2, 50}}), 1, {{4, 100}, {-1, -25}, {0, 0}}},
      {"two points", calibrated({{0, 0}, {5, 100}}), 1, {{2.5, 50}, {6, 120}, {-1, -20}, {5, 100}}},
      // Three segments with different slopes: 10/V, 40/V, 5/V; both ends extended.
      {"segments",
       calibrated({{0, 0}, {1, 10}, {2, 50}, {4, 60}}),
       1,
       {{0.5, 5}, {1, 10}, {1.5, 30}, {3, 55}, {6, 70}, {-1, -10}}},
      {"calibrated hook ignores factor", hook(calibrated({{0, 0}, {5, 100}})), 3, {{2.5, 50}}},
      {"one-point hook ignores factor", hook(calibrated({{5, 100}})), 3, {{2.5, 50}}},
  };
  for (const Case& c : cases) {
    for (const auto& [volts, value] : c.volts_to_value) {
      SCOPED_TRACE(testing::Message() << c.name << " at " << volts << " V");
      EXPECT_DOUBLE_EQ(c.row.calc_value_by_voltage(volts, c.factor, kNow), value);
    }
  }
}

// Points that cannot convert give no number for any input (the row shows not valid), never
// a plausible 0, and say why.
TEST(Conversion, PointsThatCannotConvertGiveNoNumberAndSayWhy) {
  const double big = std::numeric_limits<double>::max();
  const struct {
    Param row;
    const char* why;
  } cases[] = {
      {calibrated({{1, 10}, {1, 20}}), "points 1 and 2 have the same x, 1"},
      {calibrated({{0, 0}, {2, 20}, {2 + 1e-7, 40}, {4, 60}}), "points 2 and 3 have the same x"},
      {calibrated({{0, 0}, {5, 50}, {0, 20}}), "point 3 (x 0) comes after point 2 (x 5)"},
      {calibrated({{-big, 0}, {big, 1}}), "the slope between points 1 and 2 is beyond any number"},
      {calibrated({{0, 0}, {1, 1e308}, {2, -1e308}}), "the slope between points 2 and 3"},
      {calibrated({{0, 50}}), "its one point has x 0"},
      {calibrated({{1e-5, 1e305}}), "its one point (1e-05, 1e+305) gives a slope beyond"},
      {calibrated({{0, 0}, {std::nan(""), 1}}), "point 2 (nan, 1) is not a finite number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    for (const double volts : {0.0, 0.5, 1.0, 3.0}) {
      EXPECT_TRUE(std::isnan(c.row.calc_value_by_voltage(volts, 1.0, kNow))) << volts;
    }
    EXPECT_THAT(params::calibration_fault(c.row.points).value_or(""), testing::HasSubstr(c.why));
  }
  EXPECT_EQ(params::calibration_fault(calibrated({{0, 0}, {1, 1e300}}).points), std::nullopt);
}

TEST(Conversion, NonFiniteInputDoesNotEscapeIntoACrash) {
  const Param p = calibrated({{0, 0}, {5, 100}});
  EXPECT_TRUE(std::isnan(p.calc_value_by_voltage(std::nan(""), 1.0, kNow)));
  EXPECT_TRUE(
      std::isinf(p.calc_value_by_voltage(std::numeric_limits<double>::infinity(), 1.0, kNow)));
}

// --- Values as a reading gives them

Param on_channel(Param p, params::ChannelType type) {
  p.channel = params::USOChannel(1, 3, type);
  return p;
}

// An uncalibrated analog row reads ADC counts; the converter's full-scale count is the top
// of the 0 to 5 V input. Expected values worked out by hand: on a 12-bit converter (full
// scale 4095) 4095 counts are 5 V, 819 counts 1 V, 1365 counts 5/3 V.
TEST(Conversion, UncalibratedAnalogCountsAreScaledByTheConverterFullScale) {
  struct Case {
    const char* name;
    Param row;
    std::int32_t full_scale;
    double factor, raw, value;
  };
  const Case cases[] = {
      {"full scale is the range", linear("давление_на_входе", 250, 0), 4095, 1, 4095, 250},
      {"one fifth of full scale", linear("давление_на_входе", 250, 0), 4095, 1, 819, 50},
      {"a third of full scale", linear("давление_на_входе", 60, 0), 4095, 1, 1365, 20},
      {"no counts is the zero", linear("давление_на_входе", 250, -10), 4095, 1, 0, -10},
      {"zero shifts", linear("давление_на_входе", 250, -10), 4095, 1, 819, 40},
      {"10-bit converter", linear("давление_на_входе", 60, 0), 1023, 1, 341, 20},
      {"hook factor on top", linear("вес_на_крюке", 20, 0), 4095, 2, 4095, 40},
      // Points are in the counts the operator saw while calibrating: no scaling.
      {"calibrated counts", calibrated({{0, 0}, {4000, 100}}), 4095, 1, 1000, 25},
      {"one-point counts", calibrated({{2000, 50}}), 4095, 1, 4000, 100},
      // Rates and counts are not ADC counts.
      {"rate", on_channel(linear("ходы_насоса", 60, 0), params::kChannelRate), 4095, 1, 5, 60},
      {"counter", on_channel(linear("параметр1", 10, 1), params::kChannelCounter), 4095, 1, 3, 7},
      {"wits", on_channel(linear("параметр2", 100, 0), params::kChannelWits), 4095, 1, 2, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.row.calc_value_from_reading(c.raw, c.full_scale, c.factor, kNow), c.value, 1e-9);
  }
}

TEST(Conversion, UncalibratedAnalogRowWithoutAFullScaleHasNoValue) {
  const Param p = linear("давление_на_входе", 250, 0);
  EXPECT_TRUE(std::isnan(p.calc_value_from_reading(819, 0, 1, kNow)));
  EXPECT_TRUE(std::isnan(p.calc_value_from_reading(819, -1, 1, kNow)));
  // A calibrated row needs no full scale.
  EXPECT_NEAR(calibrated({{0, 0}, {4000, 100}}).calc_value_from_reading(1000, 0, 1, kNow), 25,
              1e-9);
}

// --- Decay of radioactive density meters

Param meter(const char* id, double calibrated_days, const char* half_life, const char* koeff) {
  Param p = linear(id, 5, 0);  // value equals the corrected input
  p.ext_info.set("last_calibr_time", std::to_string(calibrated_days));
  if (half_life) p.ext_info.set("half_life", half_life);
  if (koeff) p.ext_info.set("radio_koeff", koeff);
  return p;
}

double expected_factor(double days, double half_life, double koeff) {
  return std::exp(days / 365.25 * std::log(2.0) / half_life) * koeff;
}

TEST(Decay, MeterInputGrowsWithTheAgeOfItsSource) {
  const Param p = meter("плотн_пж_вх_радиоакт", kNow.days - 730.5, "30", "0,95");
  EXPECT_NEAR(p.decay_factor(kNow), expected_factor(730.5, 30, 0.95), 1e-7);
  EXPECT_NEAR(p.calc_value_by_voltage(1.0, 1.0, kNow), expected_factor(730.5, 30, 0.95), 1e-7);
}

TEST(Decay, MissingCoefficientUsesTheDefault) {
  const Param p = meter("плотн_пж_вых_радиоакт", kNow.days - 10, "30", nullptr);
  EXPECT_NEAR(p.decay_factor(kNow), expected_factor(10, 30, 0.9976), 1e-7);
  const Param zero = meter("плотн_пж_вых_радиоакт", kNow.days - 10, "30", "0");
  EXPECT_NEAR(zero.decay_factor(kNow), expected_factor(10, 30, 0.9976), 1e-7);
}

TEST(Decay, NoCorrectionWithinTheFirstDayOrWithoutSourceData) {
  EXPECT_EQ(meter("плотн_пж_вх_радиоакт", kNow.days - 0.5, "30", "0.9").decay_factor(kNow), 1.0);
  EXPECT_EQ(meter("плотн_пж_вх_радиоакт", kNow.days - 100, nullptr, "0.9").decay_factor(kNow), 1.0);
  EXPECT_EQ(meter("плотн_пж_вх_радиоакт", kNow.days - 100, "", "0.9").decay_factor(kNow), 1.0);
  EXPECT_EQ(meter("плотн_пж_вх_радиоакт", 0, "30", "0.9").decay_factor(kNow), 1.0);
}

TEST(Decay, OnlyMeterRowsAreCorrected) {
  // The same extended data on an ordinary row changes nothing.
  EXPECT_EQ(meter("плотность_на_входе", kNow.days - 100, "30", "0.9").decay_factor(kNow), 1.0);
  // A cementing density is a meter only on its meter channel.
  Param cem = meter("cem_plotn", kNow.days - 100, "30", "0.9");
  EXPECT_EQ(cem.decay_factor(kNow), 1.0);
  cem.channel.channel = 30;
  EXPECT_NEAR(cem.decay_factor(kNow), expected_factor(100, 30, 0.9), 1e-7);
  // Identifiers are matched without regard to case.
  EXPECT_TRUE(meter("ПЛОТН_ПЖ_ВХ_РАДИОАКТ", 1, "1", "1").is_radioactive_density_meter());
}

// --- Correction to a wanted value

TEST(CorrectKalibr, ShiftsEveryPointOrTheZero) {
  Param p = calibrated({{0, 0}, {5, 100}});
  p.correct_kalibr(10, 12);
  EXPECT_EQ(p.points, (params::CalibrPoints{{0, 2}, {5, 102}}));
  EXPECT_EQ(p.zero, 77.0f);

  Param l = linear("давление_на_входе", 250, 1);
  const double shown = l.calc_value_by_voltage(2.0, 1.0, kNow);
  l.correct_kalibr(static_cast<float>(shown), 150);
  EXPECT_NEAR(l.calc_value_by_voltage(2.0, 1.0, kNow), 150.0, 1e-4);
  EXPECT_NEAR(l.zero, 50.0f, 1e-4);
}

}  // namespace
