// The in-memory history behind the charts: bounded, ordered, and honest about gaps.
#include <cmath>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "web/history.h"

namespace {

using ::testing::ElementsAre;

std::vector<float> column(const web::History::Slice& s, const std::string& name) {
  for (const auto& [n, v] : s.columns)
    if (n == name) return v;
  ADD_FAILURE() << "no column " << name;
  return {};
}

TEST(WebHistory, KeepsTheNewestTicksUpToItsCapacity) {
  web::History h(4);
  for (int i = 1; i <= 6; ++i) h.add(i, {{"a", i * 10.0}});
  EXPECT_EQ(h.size(), 4u);
  const auto all = h.since({"a"}, -INFINITY);
  EXPECT_THAT(all.t, ElementsAre(3, 4, 5, 6));
  EXPECT_THAT(column(all, "a"), ElementsAre(30, 40, 50, 60));
  const auto recent = h.since({"a"}, 4.5);
  EXPECT_THAT(recent.t, ElementsAre(5, 6));
  EXPECT_THAT(column(recent, "a"), ElementsAre(50, 60));
  EXPECT_TRUE(h.since({"a"}, 6).t.empty());
  // The memory does not grow with the ticks added.
  const std::size_t bytes = h.memory_bytes();
  for (int i = 7; i < 100; ++i) h.add(i, {{"a", 1.0}});
  EXPECT_EQ(h.memory_bytes(), bytes);
}

TEST(WebHistory, AParameterMissingOrNotANumberHasAGap) {
  web::History h(8);
  h.add(1, {{"a", 1.0}});
  h.add(2, {{"a", NAN}, {"b", 5.0}});
  h.add(3, {{"b", INFINITY}});
  const auto s = h.since({"b", "a", "zz"}, 0);
  EXPECT_THAT(s.t, ElementsAre(1, 2, 3));
  const auto a = column(s, "a");
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[0], 1.0f);
  EXPECT_TRUE(std::isnan(a[1]));
  EXPECT_TRUE(std::isnan(a[2]));
  const auto b = column(s, "b");
  ASSERT_EQ(b.size(), 3u);
  EXPECT_TRUE(std::isnan(b[0]));  // before it was first seen
  EXPECT_EQ(b[1], 5.0f);
  EXPECT_TRUE(std::isnan(b[2]));
  EXPECT_THAT(s.unknown, ElementsAre("zz"));
  EXPECT_EQ(s.columns[0].first, "b");  // in the order asked for
}

TEST(WebHistory, TheNumberOfParametersIsBounded) {
  web::History h(2);
  std::vector<std::pair<std::string, double>> many;
  for (std::size_t i = 0; i < web::History::kMaxColumns + 10; ++i)
    many.emplace_back("p" + std::to_string(i), 1.0);
  h.add(1, many);
  EXPECT_EQ(h.memory_bytes(), 2 * sizeof(double) + web::History::kMaxColumns * 2 * sizeof(float));
  const auto s = h.since({"p0", "p" + std::to_string(web::History::kMaxColumns + 5)}, 0);
  EXPECT_EQ(s.columns.size(), 1u);
  EXPECT_EQ(s.unknown.size(), 1u);
}

}  // namespace
