#include "pore/min_curvature.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "iscwsa_well1.h"
#include "pore/wellbore.h"
#include "support/module_state.h"
#include "well_builders.h"

namespace {

using testing_support::bytes_of;
using testing_support::forge_state;
using testing_support::load_state;
using testing_support::save_state;

using pore::DoglegUnit;
using pore::WbCalcMethod;
using pore::Wellbore;
using pore::WellborePoint;
using pore_tests::station;

constexpr double kDeg = std::numbers::pi / 180;

// The stations computed by minimum curvature, the first course starting at station 0.
std::unique_ptr<Wellbore> computed(std::vector<WellborePoint> points) {
  auto w = std::make_unique<Wellbore>();
  w->set_start_depth(points.front().depth);
  w->set_points(std::move(points));
  w->calculate(WbCalcMethod::kMinimumCurvature, {});
  return w;
}

// The exact circular arc of a build or drop in one vertical plane: inclination i0 to i1
// (radians) over `length`, radius length / |i1 - i0|. Plain circle geometry, written in the
// half-angle form so that it stays exact for tiny arcs.
struct PlaneArc {
  double horizontal, vertical;
};
PlaneArc plane_arc(double length, double i0, double i1) {
  const double radius = length / std::abs(i1 - i0);
  const double chord_half = radius * std::sin(std::abs(i1 - i0) / 2);
  // The chord points along the mean inclination.
  return {2 * chord_half * std::sin((i0 + i1) / 2), 2 * chord_half * std::cos((i0 + i1) / 2)};
}

// ---- published examples -------------------------------------------------------------------

// ISCWSA example well #1: every station within a millimetre of the published position (the
// published figures are themselves rounded to the millimetre), both at full precision and
// in the 32-bit station fields.
TEST(MinimumCurvaturePublished, IscwsaExampleWellOneToTheMillimetre) {
  std::vector<WellborePoint> points;
  for (const auto& s : pore_tests::kIscwsaWell1) {
    points.push_back(
        station(static_cast<float>(s.md), static_cast<float>(s.inc), static_cast<float>(s.azi)));
  }
  const auto w = computed(points);
  const auto r = w->results();
  const auto p = w->points_copy();
  ASSERT_EQ(r.size(), std::size(pore_tests::kIscwsaWell1));
  double worst = 0;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const auto& s = pore_tests::kIscwsaWell1[i];
    SCOPED_TRACE("station at " + std::to_string(s.md) + " m");
    EXPECT_NEAR(r[i].north, s.north, 1e-3);
    EXPECT_NEAR(r[i].east, s.east, 1e-3);
    EXPECT_NEAR(r[i].vertical, s.tvd, 1e-3);
    EXPECT_NEAR(p[i].y, s.north, 1e-3);
    EXPECT_NEAR(p[i].x, s.east, 1e-3);
    EXPECT_NEAR(p[i].z, s.tvd, 1e-3);
    worst = std::max({worst, std::abs(r[i].north - s.north), std::abs(r[i].east - s.east),
                      std::abs(r[i].vertical - s.tvd)});
  }
  // Rounding to the millimetre leaves at most half of one.
  EXPECT_LE(worst, 0.0005 + 1e-9);
  // The builds: 2°/30 m and 3°/30 m; the hold between them is straight.
  EXPECT_NEAR(r[2].severity(DoglegUnit::kPer30m), 2, 1e-9);
  EXPECT_NEAR(r[42].severity(DoglegUnit::kPer30m), 3, 1e-9);
  EXPECT_NEAR(r[32].severity(DoglegUnit::kPer30m), 0, 1e-9);
}

// ---- the arc itself --------------------------------------------------------------------------

TEST(MinimumCurvatureTest, BuildsFollowTheExactCircularArcDownToTinyDoglegs) {
  // Big, ordinary and tiny doglegs, including some far below the series threshold and one
  // the arccos of a cosine would round to nothing.
  for (double build_deg : {60.0, 10.0, 1.0, 0.01, 1e-5, 1e-7, 1e-9}) {
    SCOPED_TRACE("build of " + std::to_string(build_deg) + "°");
    const double i0 = 30 * kDeg, i1 = i0 + build_deg * kDeg;
    const auto d = pore::minimum_curvature_course(30, i0, 120 * kDeg, i1, 120 * kDeg);
    const PlaneArc arc = plane_arc(30, i0, i1);
    EXPECT_NEAR(d.dogleg, i1 - i0, 1e-12 * (i1 - i0));
    EXPECT_NEAR(std::hypot(d.north, d.east), arc.horizontal, 1e-12);
    EXPECT_NEAR(d.vertical, arc.vertical, 1e-12);
    EXPECT_NEAR(std::atan2(d.east, d.north), 120 * kDeg, 1e-12);  // stays on its azimuth
  }
}

TEST(MinimumCurvatureTest, TinyTurnsKeepTheirDogleg) {
  // A turn of da at inclination 90° is a dogleg of exactly da; at inclination i it is
  // 2·asin(sin i · sin(da / 2)).
  for (double turn : {1e-3, 1e-6, 1e-8}) {
    const double a0 = 10 * kDeg, a1 = a0 + turn;  // the turn as the doubles hold it
    EXPECT_NEAR(pore::dogleg_angle_stable(90 * kDeg, a0, 90 * kDeg, a1), a1 - a0, turn * 1e-12);
    const double b0 = 350 * kDeg, b1 = b0 + turn;
    EXPECT_NEAR(pore::dogleg_angle_stable(30 * kDeg, b0, 30 * kDeg, b1),
                2 * std::asin(std::sin(30 * kDeg) * std::sin((b1 - b0) / 2)), turn * 1e-12);
  }
  // Across north: 350° to 10° is a 20° turn, not 340°.
  EXPECT_NEAR(pore::dogleg_angle_stable(90 * kDeg, 350 * kDeg, 90 * kDeg, 10 * kDeg), 20 * kDeg,
              1e-12);
}

TEST(MinimumCurvatureTest, RatioFactorIsExactlyOneWhenStraightAndSmoothAcrossTheSeries) {
  EXPECT_EQ(pore::ratio_factor(0), 1.0);
  // A straight inclined course is its tangent times its length, to the last bit.
  const auto d = pore::minimum_curvature_course(50, 30 * kDeg, 45 * kDeg, 30 * kDeg, 45 * kDeg);
  EXPECT_EQ(d.dogleg, 0);
  EXPECT_DOUBLE_EQ(d.vertical, 50 * std::cos(30 * kDeg));
  EXPECT_DOUBLE_EQ(d.north, 50 * std::sin(30 * kDeg) * std::cos(45 * kDeg));
  EXPECT_DOUBLE_EQ(d.east, 50 * std::sin(30 * kDeg) * std::sin(45 * kDeg));
  // Values known in closed form: tan(pi/4) = 1 and tan(pi/6) = 1/sqrt 3.
  EXPECT_DOUBLE_EQ(pore::ratio_factor(std::numbers::pi / 2), 4 / std::numbers::pi);
  EXPECT_DOUBLE_EQ(pore::ratio_factor(std::numbers::pi / 3), 6 / std::numbers::pi / std::sqrt(3.0));
  // No step where the series takes over.
  const double t = pore::kRatioFactorSeriesBelow;
  EXPECT_NEAR(pore::ratio_factor(t * (1 - 1e-9)), pore::ratio_factor(t * (1 + 1e-9)), 1e-15);
  EXPECT_GT(pore::ratio_factor(t * (1 - 1e-9)), 1.0);
}

TEST(MinimumCurvatureTest, AzimuthAtZeroInclinationDoesNotBendThePath) {
  // Kicking off from vertical: whatever azimuth the vertical station reports, the course is
  // the same arc in the vertical plane of the second station's azimuth.
  const PlaneArc arc = plane_arc(100, 0, 10 * kDeg);
  for (double from_azimuth : {0.0, 90.0, 200.0, 359.0}) {
    const auto d =
        pore::minimum_curvature_course(100, 0, from_azimuth * kDeg, 10 * kDeg, 90 * kDeg);
    EXPECT_NEAR(d.dogleg, 10 * kDeg, 1e-15);
    EXPECT_NEAR(d.north, 0, 1e-12) << from_azimuth;
    EXPECT_NEAR(d.east, arc.horizontal, 1e-12) << from_azimuth;
    EXPECT_NEAR(d.vertical, arc.vertical, 1e-12) << from_azimuth;
  }
  // Through the wellbore, and on to a station whose azimuth jumps while it is still vertical.
  const auto w = computed({station(0, 0, 250), station(500, 0, 10), station(600, 10, 90)});
  const auto r = w->results();
  EXPECT_EQ(r[1].north, 0);
  EXPECT_EQ(r[1].east, 0);
  EXPECT_EQ(r[1].vertical, 500);
  EXPECT_EQ(r[1].dogleg, 0);
  EXPECT_NEAR(r[2].east, arc.horizontal, 1e-9);
  EXPECT_NEAR(r[2].north, 0, 1e-9);
  EXPECT_NEAR(r[2].vertical, 500 + arc.vertical, 1e-9);
}

TEST(MinimumCurvatureTest, ACourseThatTurnsBackGivesHalfATurnAndFiniteNumbers) {
  const auto d = pore::minimum_curvature_course(10, 0, 0, std::numbers::pi, 0);
  EXPECT_NEAR(d.dogleg, std::numbers::pi, 1e-12);
  EXPECT_TRUE(std::isfinite(d.north) && std::isfinite(d.east) && std::isfinite(d.vertical));
  EXPECT_EQ(pore::ratio_factor(std::numbers::pi), 1.0);
  const auto w = computed({station(100, 19, 0), station(110, 161, 180)});
  EXPECT_NEAR(w->points_copy()[1].dogleg, std::numbers::pi, 1e-6);
  EXPECT_TRUE(std::isfinite(w->points_copy()[1].z));
}

TEST(MinimumCurvatureTest, ACourseOfNoLengthHasNoSeverity) {
  EXPECT_EQ(pore::dogleg_severity(3 * kDeg, 0, DoglegUnit::kPer30m), 0);
  EXPECT_DOUBLE_EQ(pore::dogleg_severity(3 * kDeg, 15, DoglegUnit::kPer30m), 6);
}

// ---- in the wellbore ---------------------------------------------------------------------

TEST(MinimumCurvatureWellbore, AzimuthCorrectionAndStartPositionApply) {
  Wellbore w;
  w.set_start(100, 200);
  w.set_start_z(5);
  w.set_start_depth(1000);
  w.set_azimuth_correction(30);  // survey azimuth 120° is 90° on the map
  w.set_points({station(1000, 90, 120), station(1100, 90, 120)});
  w.calculate(WbCalcMethod::kMinimumCurvature, {});
  const auto r = w.results();
  EXPECT_NEAR(r[1].east, 100 + 100, 1e-9);
  EXPECT_NEAR(r[1].north, 200, 1e-9);
  EXPECT_NEAR(r[1].vertical, 5, 1e-9);
  EXPECT_NEAR(r[1].displacement, std::hypot(200, 200), 1e-9);
  EXPECT_EQ(r[1].course_length, 100);
  EXPECT_EQ(w.last_method(), WbCalcMethod::kMinimumCurvature);
}

TEST(MinimumCurvatureWellbore, ResultsFollowTheStationsAndTheOffset) {
  pore::WellboreKrug targets;
  targets.altitude = 40;
  Wellbore w;
  w.set_points({station(0, 0, 0), station(100, 10, 0)});
  EXPECT_TRUE(w.results().empty());  // nothing computed yet
  w.calculate(WbCalcMethod::kMinimumCurvature, targets);
  ASSERT_EQ(w.results().size(), 2u);
  EXPECT_DOUBLE_EQ(w.results()[1].abs_level, w.results()[1].vertical - 40);
  const double north = w.results()[1].north;

  w.set_offset(1000, 2000);
  w.process_stvol(WbCalcMethod::kMinimumCurvature, targets, false);
  EXPECT_DOUBLE_EQ(w.results()[1].north, north + 2000);
  EXPECT_DOUBLE_EQ(w.results()[1].east, 1000);

  w.add_point(station(200, 10, 0));
  EXPECT_TRUE(w.results().empty()) << "results of another station list are not shown";
  w.calculate(WbCalcMethod::kMinimumCurvature, targets);
  EXPECT_EQ(w.results().size(), 3u);
  w.remove_point(0);
  EXPECT_TRUE(w.results().empty());
}

TEST(MinimumCurvatureWellbore, TheMethodSurvivesTheStateAndAnUnknownOneIsRefused) {
  auto w = computed({station(0, 0, 0), station(100, 10, 0)});
  Wellbore restored;
  EXPECT_EQ(load_state(restored, save_state(*w)).read, 1);
  EXPECT_EQ(restored.last_method(), WbCalcMethod::kMinimumCurvature);

  // Seven zero start values and offsets, then method 3, no stations.
  const std::string settings =
      std::string(7 * sizeof(double), '\0') + bytes_of(std::int32_t{3}, std::uint32_t{0});
  std::vector<std::string> errors;
  load_state(restored, forge_state(restored, 1, settings), &errors);
  EXPECT_THAT(errors, testing::ElementsAre(testing::HasSubstr("unknown calculation method 3")));
  EXPECT_EQ(restored.size(), 2u);
}

}  // namespace
