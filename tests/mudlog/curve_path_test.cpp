// Where values fall across a track and how they are joined, and how a log is laid on pages:
// the geometry the PDF and the web view both draw from, checked against hand-worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mudlog/curve_path.h"
#include "mudlog/page_plan.h"

namespace {

mudlog::CurveSpec curve(double left, double right, bool wrap = false,
                        mudlog::ScaleKind scale = mudlog::ScaleKind::linear) {
  mudlog::CurveSpec c;
  c.identifier = "x";
  c.left = left;
  c.right = right;
  c.wrap = wrap;
  c.scale = scale;
  return c;
}

struct PlaceCase {
  mudlog::CurveSpec curve;
  double value;
  bool drawn;
  double x;
  long wrap;
};

TEST(CurvePath, ValuesFallAcrossTheTrackByTheirScale) {
  const auto log = mudlog::ScaleKind::logarithmic;
  const PlaceCase cases[] = {
      {curve(0, 100), 50, true, 0.5, 0},
      {curve(0, 100), -10, true, 0, 0},  // held at the edge
      {curve(0, 100), 150, true, 1, 0},
      {curve(100, 0), 25, true, 0.75, 0},  // a reversed scale
      {curve(0, 100, true), 100, true, 1, 0},
      {curve(0, 100, true), 150, true, 0.5, 1},
      {curve(0, 100, true), 250, true, 1, 1},  // further than once round: held at the edge
      {curve(0, 100, true), -10, true, 0.9, -1},
      {curve(0.01, 100, false, log), 1, true, 0.5, 0},
      {curve(0.01, 100, false, log), 0.1, true, 0.25, 0},
      {curve(0.01, 100, true, log), 1000, true, 0.25, 1},
      {curve(0.01, 100, false, log), 0, false, 0, 0},
      {curve(0, 100), NAN, false, 0, 0},
  };
  for (const PlaceCase& c : cases) {
    const auto p = mudlog::place(c.curve, c.value);
    ASSERT_EQ(p.has_value(), c.drawn) << c.value;
    if (!p) continue;
    EXPECT_NEAR(p->x, c.x, 1e-12) << c.value;
    EXPECT_EQ(p->wrap, c.wrap) << c.value;
  }
}

using Points = std::vector<std::pair<double, double>>;

Points points(const mudlog::Path& p) {
  Points out;
  for (const auto& pt : p)
    out.emplace_back(std::round(pt.depth * 1e4) / 1e4, std::round(pt.x * 1e4) / 1e4);
  return out;
}

// Values 0, 60, 120, 180 on a 0..100 scale that wraps, a missing value, then points beyond a
// gap of 14 m: the line is cut where it leaves the right edge (at two thirds of the way from
// 60 to 120) and goes on from the left, and it breaks at the missing value and at the gap.
TEST(CurvePath, AWrappingCurveIsCutAtTheEdgeAndBreaksAtGapsAndMissingValues) {
  const mudlog::Series s{{0, 1, 2, 3, 4, 5, 6, 20, 21}, {0, 60, 120, 180, NAN, 10, 20, 30, 40}};
  const auto paths = mudlog::curve_lines(curve(0, 100, true), s, 0, 21, 3).paths;
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(points(paths[0]), (Points{{0, 0}, {1, 0.6}, {1.6667, 1}}));
  EXPECT_EQ(points(paths[1]), (Points{{1.6667, 0}, {2, 0.2}, {3, 0.8}}));
  EXPECT_EQ(points(paths[2]), (Points{{5, 0.1}, {6, 0.2}}));
  EXPECT_EQ(points(paths[3]), (Points{{20, 0.3}, {21, 0.4}}));
  // Without wrapping the line is held at the edge instead.
  const auto held = mudlog::curve_lines(curve(0, 100), s, 0, 21, 3).paths;
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(points(held[0]), (Points{{0, 0}, {1, 0.6}, {2, 1}, {3, 1}}));
  // A range takes one point beyond each end, so the lines reach its edges.
  const auto part = mudlog::curve_lines(curve(0, 100, true), s, 1.5, 5.5, 3).paths;
  ASSERT_EQ(part.size(), 3u);
  EXPECT_EQ(points(part[0]).front(), (std::pair<double, double>{1, 0.6}));
  EXPECT_EQ(points(part[2]).back(), (std::pair<double, double>{6, 0.2}));
}

// A drill time on 0..5 min/m with a connection (12, 30, 8) and a value below the scale: the
// line is held at the edges, and each stretch held is marked once, at its peak, with the
// value. Wrapping, the connection comes round once and only its peak is past that.
TEST(CurvePath, ValuesPastTheScaleAreHeldAtTheEdgeAndEachStretchIsMarkedAtItsPeak) {
  const mudlog::Series s{{0, 1, 2, 3, 4, 5, 6, 7}, {1, 3, 12, 30, 8, 2, -4, 1}};
  const mudlog::CurveLines held = mudlog::curve_lines(curve(0, 5), s, 0, 7, 3);
  ASSERT_EQ(held.paths.size(), 1u);
  EXPECT_EQ(points(held.paths[0]),
            (Points{{0, 0.2}, {1, 0.6}, {2, 1}, {3, 1}, {4, 1}, {5, 0.4}, {6, 0}, {7, 0.2}}));
  ASSERT_EQ(held.marks.size(), 2u);
  EXPECT_EQ(held.marks[0].depth, 3);
  EXPECT_TRUE(held.marks[0].right);
  EXPECT_EQ(held.marks[0].value, 30);
  EXPECT_EQ(held.marks[1].depth, 6);
  EXPECT_FALSE(held.marks[1].right);
  const mudlog::CurveLines wrapped = mudlog::curve_lines(curve(0, 5, true), s, 0, 7, 3);
  ASSERT_EQ(wrapped.marks.size(), 1u);
  EXPECT_EQ(wrapped.marks[0].depth, 3);
  for (const mudlog::Path& p : wrapped.paths)
    for (const auto& [depth, x] : points(p)) EXPECT_TRUE(x >= 0 && x <= 1) << depth;
  // A mark outside the range drawn is left to the page that shows it.
  EXPECT_TRUE(mudlog::curve_lines(curve(0, 5), s, 4, 5, 3).marks.empty());
}

TEST(CurvePath, ThinningKeepsThePeaksWithinItsBound) {
  mudlog::Series s;
  for (int i = 0; i < 20000; ++i) {
    s.depth.push_back(1000 + i / 100.0);
    s.value.push_back(static_cast<float>(std::sin(i * 0.01)));
  }
  s.value[12345] = 50;  // a gas peak one line wide
  s.value[777] = -50;
  const mudlog::Series thin = mudlog::thin_series(s, 1000, 1200, 400);
  EXPECT_LE(thin.depth.size(), 402u);
  EXPECT_TRUE(std::is_sorted(thin.depth.begin(), thin.depth.end()));
  EXPECT_EQ(*std::max_element(thin.value.begin(), thin.value.end()), 50.0f);
  EXPECT_EQ(*std::min_element(thin.value.begin(), thin.value.end()), -50.0f);
  // Few enough points come through as they are, one beyond each end included.
  const mudlog::Series small = mudlog::thin_series(s, 1001, 1002, 400);
  EXPECT_EQ(small.depth.size(), 103u);
  EXPECT_DOUBLE_EQ(small.depth.front(), s.depth[99]);
}

struct PagesCase {
  double from, to;
  int scale;
  int pages;
  double metres_per_page;
};

TEST(PagePlan, APageOfTheA4LogHolds240MillimetresOfDepth) {
  mudlog::LogLayout layout;
  layout.tracks.resize(2);
  const PagesCase cases[] = {
      {0, 120, 500, 1, 120},       {0, 120.5, 500, 2, 120},  {1000, 1500, 500, 5, 120},
      {1000, 1500, 1000, 3, 240},  {1000, 1028, 200, 1, 48}, {0, 3000, 500, 25, 120},
      {1000, 1000.2, 500, 1, 120},
  };
  for (const PagesCase& c : cases) {
    const mudlog::PagePlan p = mudlog::plan_pages(layout, c.from, c.to, c.scale);
    EXPECT_EQ(p.pages, c.pages) << c.from << ".." << c.to << " 1:" << c.scale;
    EXPECT_NEAR(p.metres_per_page, c.metres_per_page, 1e-9);
    // Each page goes on from the depth where the one before ended.
    for (int i = 0; i + 1 < p.pages; ++i) EXPECT_DOUBLE_EQ(p.page_to(i), p.page_from(i + 1));
    EXPECT_DOUBLE_EQ(p.page_to(p.pages - 1), c.to);
    EXPECT_NEAR(p.y(0, c.from + 10) - p.y(0, c.from), 10 * 1000.0 / c.scale, 1e-9);
  }
  const mudlog::PagePlan strip = mudlog::plan_pages(layout, 1000, 1500, 500, true);
  EXPECT_EQ(strip.pages, 1);
  EXPECT_NEAR(strip.page_height_mm, 297 - 240 + 1000, 1e-9);
}

TEST(PagePlan, TracksTooWideForThePageAreNarrowedTogetherAndSaidSo) {
  mudlog::LogLayout layout;
  layout.tracks.resize(2);
  layout.tracks[0].width_mm = 150;
  layout.tracks[1].width_mm = 50;
  const mudlog::PagePlan p = mudlog::plan_pages(layout, 0, 10, 500);
  ASSERT_EQ(p.tracks.size(), 2u);
  EXPECT_NEAR(p.tracks[0].width, 142.5, 1e-9);
  EXPECT_NEAR(p.tracks[1].x, 10 + 142.5, 1e-9);
  EXPECT_NEAR(p.tracks[1].width, 47.5, 1e-9);
  EXPECT_NE(p.note.find("narrowed to 95 %"), std::string::npos) << p.note;
}

}  // namespace
