#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <thread>
#include <tuple>

#include "pore/wellbore.h"
#include "support/module_state.h"
#include "well_builders.h"

namespace {

using testing_support::bytes_of;
using testing_support::forge_state;
using testing_support::load_state;
using testing_support::save_state;

using pore::WbCalcMethod;
using pore::Wellbore;
using pore::WellboreKrug;
using pore::WellborePoint;
using pore_tests::station;

constexpr double kDeg = std::numbers::pi / 180;

// A wellbore whose first segment starts at station 0, so station 0 sits at the wellhead
// position and later stations carry the plain segment results.
void start_at_first(Wellbore& w, std::vector<WellborePoint> points) {
  w.set_start_depth(points.front().depth);
  w.set_points(std::move(points));
}

// The stations as computed by `method`, the first segment starting at station 0.
std::vector<WellborePoint> computed(std::vector<WellborePoint> points, WbCalcMethod method) {
  Wellbore w;
  start_at_first(w, std::move(points));
  w.calculate(method, {});
  return w.points_copy();
}

// North, east and vertical increments of a path whose inclination changes linearly with
// measured depth and whose azimuth changes linearly with the horizontal distance covered:
// the path the radius-of-curvature formulas describe exactly. Integrated numerically
// (midpoint rule), independently of those formulas.
struct Delta {
  double north = 0, east = 0, vertical = 0;
};
Delta integrate_curvature_path(double md, double i0, double i1, double a0, double a1) {
  i0 *= kDeg, i1 *= kDeg, a0 *= kDeg, a1 *= kDeg;
  const int steps = 200000;
  const double ds = md / steps;
  double horizontal_total = 0;
  for (int k = 0; k < steps; ++k)
    horizontal_total += std::sin(i0 + (i1 - i0) * (k + 0.5) / steps) * ds;
  Delta d;
  double horizontal = 0;
  for (int k = 0; k < steps; ++k) {
    const double inc = i0 + (i1 - i0) * (k + 0.5) / steps;
    const double dh = std::sin(inc) * ds;
    const double azi = a0 + (a1 - a0) * (horizontal + dh / 2) / horizontal_total;
    d.north += std::cos(azi) * dh;
    d.east += std::sin(azi) * dh;
    d.vertical += std::cos(inc) * ds;
    horizontal += dh;
  }
  return d;
}

// ---- published examples -------------------------------------------------------------------
//
// N. J. Lapeyrouse, "Formulas and Calculations for Drilling, Production and Workover",
// 2nd ed., directional survey calculations, two survey pairs in feet. The book works with
// rounded trigonometric values, so its results are good to about 0.01.
const std::vector<WellborePoint> kBookPairA = {station(7482, 4, 10), station(7782, 8, 35)};
const std::vector<WellborePoint> kBookPairB = {station(7500, 45, 130), station(7595, 52, 139)};

TEST(PublishedSurveyTest, AverageAngleReproducesTheBook) {
  const auto pa = computed(kBookPairA, WbCalcMethod::kAverageAngle);
  EXPECT_NEAR(pa[1].y, 28.97, 0.01);   // north
  EXPECT_NEAR(pa[1].x, 12.0, 0.01);    // east
  EXPECT_NEAR(pa[1].z, 298.35, 0.01);  // vertical
  const auto pb = computed(kBookPairB, WbCalcMethod::kAverageAngle);
  EXPECT_NEAR(pb[1].y, -49.87, 0.01);
  EXPECT_NEAR(pb[1].x, 50.74, 0.01);
  EXPECT_NEAR(pb[1].z, 62.95, 0.01);
}

TEST(PublishedSurveyTest, RadiusOfCurvatureReproducesTheBookAndAnIndependentIntegration) {
  // The book's north figures are misprinted (pair B: -49.97 where its formula gives -49.79;
  // pair A: 28.56 from its hand arithmetic), so north is checked against the integration.
  const auto pb = computed(kBookPairB, WbCalcMethod::kTangentialCurvature);
  EXPECT_NEAR(pb[1].x, 50.66, 0.01);
  EXPECT_NEAR(pb[1].z, 62.91, 0.01);
  const Delta db = integrate_curvature_path(95, 45, 52, 130, 139);
  EXPECT_NEAR(pb[1].y, db.north, 1e-3);
  EXPECT_NEAR(pb[1].x, db.east, 1e-3);
  EXPECT_NEAR(pb[1].z, db.vertical, 1e-3);

  const auto pa = computed(kBookPairA, WbCalcMethod::kTangentialCurvature);
  EXPECT_NEAR(pa[1].x, 11.91, 0.01);
  EXPECT_NEAR(pa[1].z, 298.3, 0.01);
  const Delta da = integrate_curvature_path(300, 4, 8, 10, 35);
  EXPECT_NEAR(pa[1].y, da.north, 1e-3);
  EXPECT_NEAR(pa[1].x, da.east, 1e-3);
}

// ---- the methods -----------------------------------------------------------------------------

TEST(WellboreTest, VerticalStationsGoStraightDown) {
  for (auto method : {WbCalcMethod::kAverageAngle, WbCalcMethod::kTangentialCurvature}) {
    Wellbore w;
    w.set_points({station(100, 0, 0), station(250, 0, 0), station(600, 0, 45)});
    w.calculate(method, {});
    for (const auto& s : w.points_copy()) {
      EXPECT_EQ(s.x, 0);
      EXPECT_EQ(s.y, 0);
      EXPECT_FLOAT_EQ(s.z, s.depth);  // from the wellhead at 0 m
      EXPECT_EQ(s.displacement, 0);
      EXPECT_EQ(s.dogleg, 0);
    }
  }
}

TEST(WellboreTest, AzimuthsAcrossNorthAverageToNorth) {
  const auto p =
      computed({station(1000, 10, 350), station(1100, 10, 10)}, WbCalcMethod::kAverageAngle);
  EXPECT_NEAR(p[1].x, 0, 1e-5);
  EXPECT_NEAR(p[1].y, std::sin(10 * kDeg) * 100, 1e-4);  // north, not south
  // The dogleg is the 20° turn seen at 10° inclination, not a 340° one.
  EXPECT_NEAR(p[1].dogleg,
              std::acos(std::cos(0.0) -
                        std::sin(10 * kDeg) * std::sin(10 * kDeg) * (1 - std::cos(20 * kDeg))),
              1e-6);
}

TEST(WellboreTest, EqualInclinationsUseBalancedTangential) {
  const auto p =
      computed({station(0, 30, 0), station(100, 30, 90)}, WbCalcMethod::kTangentialCurvature);
  EXPECT_NEAR(p[1].x, 25, 1e-4);  // (sin30·sin0 + sin30·sin90) · 100 / 2
  EXPECT_NEAR(p[1].y, 25, 1e-4);
  EXPECT_NEAR(p[1].z, std::cos(30 * kDeg) * 100, 1e-4);

  // Equal azimuths likewise: a straight build in one plane.
  const auto q =
      computed({station(0, 10, 90), station(100, 20, 90)}, WbCalcMethod::kTangentialCurvature);
  EXPECT_NEAR(q[1].x, (std::sin(10 * kDeg) + std::sin(20 * kDeg)) * 50, 1e-4);
  EXPECT_NEAR(q[1].y, 0, 1e-5);
}

TEST(WellboreTest, OppositeDirectionsGiveADoglegOfHalfATurnNotNaN) {
  // Rounding puts the arccos argument of this pair just below -1.
  const float dogleg =
      computed({station(100, 19, 0), station(110, 161, 180)}, WbCalcMethod::kAverageAngle)[1]
          .dogleg;
  EXPECT_FALSE(std::isnan(dogleg));
  EXPECT_NEAR(dogleg, std::numbers::pi, 1e-6);
}

TEST(WellboreTest, TemporaryFirstStationLeadsIntoStationZero) {
  // From the wellhead (start depth 0) to station 0 at 100 m with 20°: the segment averages
  // 10° (half of station 0) and 20°.
  Wellbore w;
  w.set_start(5, -3);
  w.set_start_z(2);
  w.set_points({station(100, 20, 90), station(200, 20, 90)});
  w.calculate(WbCalcMethod::kAverageAngle, {});
  const auto p = w.points_copy();
  EXPECT_NEAR(p[0].x, 5 + std::sin(15 * kDeg) * 100, 1e-4);
  EXPECT_NEAR(p[0].y, -3, 1e-4);
  EXPECT_NEAR(p[0].z, 2 + std::cos(15 * kDeg) * 100, 1e-4);
  EXPECT_NEAR(p[0].dogleg, 10 * kDeg, 1e-6);
  EXPECT_NEAR(p[0].displacement, std::hypot(p[0].x, p[0].y), 1e-4);
  EXPECT_EQ(w.size(), 2u);  // the temporary station is gone again

  // A start depth below station 0 does not run the first segment backwards.
  w.set_start_depth(150);
  w.calculate(WbCalcMethod::kAverageAngle, {});
  EXPECT_NEAR(w.points_copy()[0].x, 5, 1e-5);
}

TEST(WellboreTest, AzimuthCorrectionTurnsTheTrajectory) {
  Wellbore w;
  start_at_first(w, {station(0, 90, 90), station(100, 90, 90)});
  w.set_azimuth_correction(90);  // the survey's east is grid north
  w.calculate(WbCalcMethod::kAverageAngle, {});
  const auto p = w.points_copy();
  EXPECT_NEAR(p[1].y, 100, 1e-3);
  EXPECT_NEAR(p[1].x, 0, 1e-3);
}

TEST(WellboreTest, AbsoluteLevelAndLocalCoordinates) {
  WellboreKrug targets;
  targets.altitude = 120;
  Wellbore w;
  start_at_first(w, {station(0, 0, 0), station(500, 30, 45)});
  w.set_offset(1000, 2000);
  w.calculate(WbCalcMethod::kAverageAngle, targets);
  auto p = w.points_copy();
  EXPECT_FLOAT_EQ(p[1].abs_level, p[1].z - 120);
  EXPECT_EQ(p[1].saved_x, p[1].x);  // calculate keeps local coordinates
  EXPECT_EQ(p[1].saved_z, p[1].z);
  const float local_x = p[1].x, local_y = p[1].y;

  w.process_stvol(WbCalcMethod::kAverageAngle, targets, false);
  p = w.points_copy();
  EXPECT_FLOAT_EQ(p[1].x, local_x + 1000);
  EXPECT_FLOAT_EQ(p[1].y, local_y + 2000);
}

TEST(WellboreTest, RecalculatesOnlyWhenSomethingChanged) {
  Wellbore w;
  start_at_first(w, {station(0, 0, 0), station(100, 10, 0)});
  EXPECT_TRUE(w.need_recalc());
  w.calculate(WbCalcMethod::kAverageAngle, {});
  EXPECT_FALSE(w.need_recalc());
  const float y_average = w.points_copy()[1].y;

  w.calculate(WbCalcMethod::kTangentialCurvature, {});  // a new method recalculates
  EXPECT_EQ(w.last_method(), WbCalcMethod::kTangentialCurvature);
  EXPECT_NE(w.points_copy()[1].y, y_average);

  w.add_point(station(200, 10, 0));
  EXPECT_TRUE(w.need_recalc());
  w.calculate(WbCalcMethod::kTangentialCurvature, {});
  EXPECT_GT(w.points_copy()[2].z, w.points_copy()[1].z);

  WellboreKrug targets;
  targets.altitude = 50;  // new targets recalculate too
  w.calculate(WbCalcMethod::kTangentialCurvature, targets);
  EXPECT_FLOAT_EQ(w.points_copy()[2].abs_level, w.points_copy()[2].z - 50);

  // Fewer than two stations compute nothing and stay to be calculated.
  Wellbore single;
  single.calculate(WbCalcMethod::kAverageAngle, {});
  single.add_point(station(100, 5, 5));
  single.calculate(WbCalcMethod::kAverageAngle, {});
  EXPECT_EQ(single.points_copy()[0].z, 0);
  EXPECT_TRUE(single.need_recalc());
}

// ---- stations ------------------------------------------------------------------------------

TEST(WellboreTest, StationsAreKeptInDepthOrder) {
  Wellbore w;
  w.set_points({station(300, 3, 0), station(100, 1, 0), station(200, 2, 0)});
  w.add_point(station(150, 1.5f, 0));
  std::vector<float> depths;
  for (const auto& p : w.points_copy()) depths.push_back(p.depth);
  EXPECT_THAT(depths, testing::ElementsAre(100, 150, 200, 300));
  EXPECT_TRUE(w.remove_point(0));
  EXPECT_FALSE(w.remove_point(10));
  EXPECT_EQ(w.size(), 3u);
}

TEST(WellboreTest, BadStationsAndStartValuesAreRefused) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Wellbore w;
  w.set_points({station(100, 1, 0)});
  EXPECT_THROW(w.add_point(station(nan, 1, 0)), std::invalid_argument);
  EXPECT_THROW(w.add_point(station(-5, 1, 0)), std::invalid_argument);
  EXPECT_THROW(w.add_point(station(5, 181, 0)), std::invalid_argument);
  EXPECT_THROW(w.add_point(station(5, 1, 400)), std::invalid_argument);
  EXPECT_THROW(w.set_points({station(5, 1, 0), station(6, nan, 0)}), std::invalid_argument);
  EXPECT_EQ(w.size(), 1u);
  EXPECT_THROW(w.set_start_depth(-1), std::invalid_argument);
  EXPECT_THROW(w.set_start(nan, 0), std::invalid_argument);
  EXPECT_THROW(w.set_azimuth_correction(std::numeric_limits<double>::infinity()),
               std::invalid_argument);
  EXPECT_EQ(w.start_depth(), 0);
}

TEST(WellboreTest, CorrectAngleCorrectsOnceEachWay) {
  const std::pair<double, double> cases[] = {{-30, 330}, {370, 10},      {360, 0},
                                             {0, 0},     {359.5, 359.5}, {-360, 0}};
  for (auto [angle, corrected] : cases) EXPECT_EQ(Wellbore::correct_angle(angle), corrected);
}

// ---- target circles ------------------------------------------------------------------------

// Builds at 90° to the east: from 0 to 1000 m vertical, then horizontal at 1000 m.
void east_build(Wellbore& w) {
  start_at_first(
      w, {station(0, 0, 90), station(1000, 0, 90), station(1100, 30, 90), station(1300, 30, 90)});
}

TEST(TargetTest, CrossingPointHitAndMiss) {
  Wellbore w;
  east_build(w);
  w.calculate(WbCalcMethod::kAverageAngle, {});
  const auto p = w.points_copy();
  // A circle whose plane lies halfway down the last segment, centred due east.
  const double d = (p[2].z + p[3].z) / 2;
  const double expected_x = (p[2].x + p[3].x) / 2.0;
  WellboreKrug targets;
  targets.circles[0] = {d, 5, expected_x + 3, 90};
  w.calculate(WbCalcMethod::kAverageAngle, targets);
  auto c = w.crossing();
  EXPECT_TRUE(c.crossed);
  EXPECT_TRUE(c.hit);
  EXPECT_NEAR(c.x, expected_x, 1e-3);
  EXPECT_NEAR(c.depth, d, 1e-9);
  EXPECT_NEAR(c.distance, 3, 1e-3);
  EXPECT_NEAR(c.centre_x, expected_x + 3, 1e-6);
  EXPECT_NEAR(c.centre_y, 0, 1e-6);

  targets.circles[0].radius = 2.9;  // just outside
  w.calculate(WbCalcMethod::kAverageAngle, targets);
  c = w.crossing();
  EXPECT_TRUE(c.crossed);
  EXPECT_FALSE(c.hit);

  // Circle 1 is tested only on request; an unknown index tests nothing.
  targets.circles[1] = targets.circles[0];
  targets.circles[1].radius = 10;
  EXPECT_TRUE(w.cross_with_krug(1, targets));
  EXPECT_FALSE(w.cross_with_krug(2, targets));
  EXPECT_FALSE(w.crossing().crossed);

  // A circle below the trajectory is never reached.
  ASSERT_TRUE(w.cross_with_krug(1, targets));
  targets.circles[0] = {5000, 1000, 0, 0};
  w.calculate(WbCalcMethod::kAverageAngle, targets);
  EXPECT_FALSE(w.crossing().hit);
  EXPECT_FALSE(w.crossing().crossed);
}

// ---- state and lock --------------------------------------------------------------------------

TEST(WellboreStateTest, RoundTripRestoresStationsAndSettings) {
  Wellbore w;
  east_build(w);
  w.set_start(1, 2);
  w.set_start_z(3);
  w.set_azimuth_correction(12.5);
  w.set_offset(7, 8);
  w.calculate(WbCalcMethod::kTangentialCurvature, {});
  Wellbore restored;
  EXPECT_EQ(load_state(restored, save_state(w)).read, 1);
  EXPECT_EQ(std::make_tuple(restored.points_copy(), restored.start_x(), restored.start_z(),
                            restored.azimuth_correction(), restored.start_depth(),
                            restored.last_method()),
            std::make_tuple(w.points_copy(), 1, 3, 12.5, 0, WbCalcMethod::kTangentialCurvature));
  EXPECT_TRUE(restored.need_recalc());
}

TEST(WellboreStateTest, DamagedStationKeepsTheStoredWellbore) {
  Wellbore w;
  east_build(w);
  // Blocks that pass their checksum. Seven zero start values and offsets, method 0; then a
  // station inclined 500° (ids, depth, inclination, the rest zero), or a count the data
  // cannot hold, which is refused before anything is allocated.
  const std::string settings = std::string(7 * sizeof(double), '\0') + bytes_of(std::int32_t{0});
  const std::string inclined =
      bytes_of(std::uint32_t{1}, std::int32_t{-1}, std::int32_t{-1}, 10.0f, 500.0f) +
      std::string(11 * 4, '\0');
  std::vector<std::string> errors;
  auto report = load_state(w, forge_state(w, 1, settings + inclined), &errors);
  EXPECT_EQ(report.read, 0);
  EXPECT_THAT(errors, testing::ElementsAre(testing::HasSubstr("inclination")));
  EXPECT_EQ(w.size(), 4u);
  errors.clear();
  load_state(w, forge_state(w, 1, settings + bytes_of(std::uint32_t{90000})), &errors);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(w.size(), 4u);
}

TEST(WellboreLockTest, CalculationAndEditingFromTwoThreads) {
  Wellbore w;
  std::vector<WellborePoint> points;
  for (int i = 0; i < 200; ++i) points.push_back(station(i * 10.f, i * 0.2f, i * 1.5f));
  w.set_points(points);
  std::thread editor([&] {
    for (int i = 0; i < 200; ++i) {
      w.add_point(station(5 + i * 10.f, 1, 1));
      w.remove_point(0);
    }
  });
  for (int i = 0; i < 200; ++i) {
    w.calculate(i % 2 ? WbCalcMethod::kAverageAngle : WbCalcMethod::kTangentialCurvature, {});
    std::lock_guard g(w.lock());  // a reader holding the lock sees a consistent list
    const auto& p = w.points();
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
  }
  editor.join();
  EXPECT_EQ(w.size(), 200u);
}

}  // namespace
