#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "lib/interpolation.h"

namespace {

using lib::Interpolation;
using Points = std::vector<std::pair<double, double>>;

constexpr int kAllKinds[] = {Interpolation::kLinear, Interpolation::kLinearClamped,
                             Interpolation::kMonotoneCubic, Interpolation::kAkima};

Interpolation make(const Points& points) {
  Interpolation f;
  f.set_size(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_TRUE(f.set_point(i, points[i].first, points[i].second));
  }
  return f;
}

// Uneven spacing and a change of direction, so every kind has work to do.
const Points kTable = {{0, 1}, {0.5, 3}, {2, 2}, {3, -1}, {4.5, 0}, {7, 4}};

TEST(InterpolationTest, PointOrderDoesNotMatter) {
  const Interpolation sorted = make(kTable);
  const Interpolation shuffled = make({{4.5, 0}, {0, 1}, {7, 4}, {2, 2}, {0.5, 3}, {3, -1}});
  for (int kind : kAllKinds) {
    for (double x = -2; x <= 9; x += 0.125) {
      EXPECT_EQ(shuffled.get_value(x, kind), sorted.get_value(x, kind))
          << "kind " << kind << " x=" << x;
    }
  }
}

TEST(InterpolationTest, OfPointsWithEqualXTheOneSetLastCounts) {
  Interpolation f;
  f.set_size(3);
  f.set_point(0, 1, 10);
  f.set_point(1, 1, 20);
  f.set_point(2, 3, 0);
  EXPECT_EQ(f.get_line_value(1), 20.0);
  EXPECT_EQ(f.points(), (Points{{1, 20}, {3, 0}}));
  f.set_point(0, 1, 30);  // slot 0 is now the later one
  EXPECT_EQ(f.get_line_value(1), 30.0);
  EXPECT_DOUBLE_EQ(f.get_line_value(2), 15.0);
}

TEST(InterpolationTest, TooFewPointsFallBack) {
  Interpolation none;
  for (int kind : kAllKinds) EXPECT_EQ(none.get_value(1.5, kind), 0.0);
  none.set_size(4);  // slots that were never set take no part
  EXPECT_EQ(none.get_value(1.5, Interpolation::kAkima), 0.0);

  const Interpolation one = make({{2, 7}});
  for (int kind : kAllKinds) {
    EXPECT_EQ(one.get_value(-100, kind), 7.0);
    EXPECT_EQ(one.get_value(2, kind), 7.0);
    EXPECT_EQ(one.get_value(100, kind), 7.0);
  }

  // Three points: the cubic kinds read as straight lines, extrapolation included.
  const Interpolation three = make({{0, 0}, {1, 2}, {3, 3}});
  for (int kind : {Interpolation::kMonotoneCubic, Interpolation::kAkima}) {
    for (double x : {-1.0, 0.5, 2.0, 5.0}) {
      EXPECT_EQ(three.get_value(x, kind), three.get_line_value(x)) << "x=" << x;
    }
  }

  // A kind number outside 0..3 reads as straight lines.
  const Interpolation f = make(kTable);
  EXPECT_EQ(f.get_value(2.5, 7), f.get_line_value(2.5));
  EXPECT_EQ(f.get_value(-3, -1), f.get_line_value(-3));
}

// A cubic that cannot take the points reads as straight lines; the owner is told once per
// kind and set of points, with what was refused, and never for a cubic that works.
TEST(InterpolationTest, RefusedCubicIsToldOnceAndLinesAreUsed) {
  std::vector<std::string> told;
  Interpolation three = make({{0, 0}, {1, 2}, {3, 3}});
  three.set_fallback_sink([&](const std::string& m) { told.push_back(m); });
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(three.get_value(0.5, Interpolation::kMonotoneCubic), three.get_line_value(0.5));
  }
  ASSERT_EQ(told.size(), 1u);
  for (const char* part :
       {"monotone cubic", "3 points", "x from 0 to 3", "at least 4", "straight lines"}) {
    EXPECT_NE(told[0].find(part), std::string::npos) << part << " in: " << told[0];
  }
  three.get_value(0.5, Interpolation::kAkima);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_NE(told[1].find("Akima"), std::string::npos) << told[1];
  three.get_value(0.5, Interpolation::kLinear);
  EXPECT_EQ(told.size(), 2u) << "straight lines are no fallback";

  // New points: a table the cubic takes says nothing; too few again is told again.
  three.set_size(4);
  three.set_point(3, 4, 5);
  three.get_value(0.5, Interpolation::kMonotoneCubic);
  three.get_value(0.5, Interpolation::kAkima);
  EXPECT_EQ(told.size(), 2u);
  three.clear_point(3);
  three.get_value(0.5, Interpolation::kMonotoneCubic);
  EXPECT_EQ(told.size(), 3u);

  // Values so large the cubic overflows: lines, and told.
  Interpolation huge = make({{0, 0}, {1, 1.5e308}, {2, 0}, {3, 1.5e308}, {4, 0}});
  huge.set_fallback_sink([&](const std::string& m) { told.push_back(m); });
  const double y = huge.get_value(1.5, Interpolation::kAkima);
  EXPECT_TRUE(std::isfinite(y));
  EXPECT_EQ(y, huge.get_line_value(1.5));
  ASSERT_EQ(told.size(), 4u);
  EXPECT_NE(told[3].find("5 points"), std::string::npos) << told[3];
}

TEST(InterpolationTest, BadInputIsRefusedWithoutChange) {
  Interpolation f = make({{0, 0}, {1, 1}});
  EXPECT_FALSE(f.set_point(2, 5, 5));
  EXPECT_FALSE(f.set_point(static_cast<std::size_t>(-1), 5, 5));
  EXPECT_FALSE(f.set_point(0, std::numeric_limits<double>::quiet_NaN(), 5));
  EXPECT_FALSE(f.set_point(1, 2, std::numeric_limits<double>::infinity()));
  EXPECT_EQ(f.points(), (Points{{0, 0}, {1, 1}}));
  EXPECT_TRUE(std::isnan(f.get_value(std::numeric_limits<double>::quiet_NaN(), 2)));
}

TEST(InterpolationTest, ChangesAreSeenByTheNextRead) {
  Interpolation f = make(kTable);
  const double before = f.get_value(2.5, Interpolation::kMonotoneCubic);
  const Interpolation copy = f;
  ASSERT_TRUE(f.set_point(3, 3, 10));  // was (3, -1)
  EXPECT_EQ(f.get_value(3, Interpolation::kMonotoneCubic), 10.0);
  EXPECT_EQ(f.get_value(3, Interpolation::kAkima), 10.0);
  EXPECT_GT(f.get_value(2.5, Interpolation::kMonotoneCubic), before);
  // The copy keeps the table it was made with.
  EXPECT_EQ(copy.get_value(2.5, Interpolation::kMonotoneCubic), before);
  EXPECT_EQ(copy.get_value(3, Interpolation::kMonotoneCubic), -1.0);

  f.set_size(2);  // drops the points beyond the first two
  EXPECT_EQ(f.points(), (Points{{0, 1}, {0.5, 3}}));
  EXPECT_EQ(f.get_value(3, Interpolation::kAkima), f.get_line_value(3));
  f.clear_point(1);
  EXPECT_EQ(f.get_value(3, Interpolation::kLinear), 1.0);
}

}  // namespace
