#include "storage/average_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <numeric>
#include <random>

using ds_tmp::AverageWindow;

namespace {

// The plain rule the window must reproduce: append, trim to the newest n, sum and divide.
struct NaiveWindow {
  std::deque<double> values;
  void push(double v, int n) {
    n = std::clamp(n, 1, 1000);
    values.push_back(v);
    while (static_cast<int>(values.size()) > n) values.pop_front();
  }
  double mean() const {
    double s = 0;
    for (double v : values) s += v;
    return values.empty() ? 0 : s / static_cast<double>(values.size());
  }
};

TEST(AverageWindow, MatchesThePlainMeanWhileLengthsChange) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> value(-500, 1500);
  std::uniform_int_distribution<int> length(-5, 1200);
  AverageWindow w;
  NaiveWindow n;
  int len = 10;
  for (int tick = 0; tick < 20000; ++tick) {
    if (tick % 700 == 0) len = length(rng);  // includes 0, negatives and values above 1000
    double v = value(rng);
    w.push(v, len);
    n.push(v, len);
    ASSERT_EQ(w.size(), n.values.size()) << tick;
    ASSERT_NEAR(w.mean(), n.mean(), 1e-9 * (1 + std::fabs(n.mean()))) << tick;
  }
  EXPECT_EQ(w.values(), std::vector<double>(n.values.begin(), n.values.end()));
}

TEST(AverageWindow, LoweringTheLengthKeepsTheNewestValuesDownToOne) {
  AverageWindow w;
  for (int i = 1; i <= 10; ++i) w.push(i, 10);
  w.push(11, 3);
  EXPECT_EQ(w.values(), (std::vector<double>{9, 10, 11}));
  EXPECT_DOUBLE_EQ(w.mean(), 10.0);
  w.push(12, 5);  // growing again keeps what is there
  EXPECT_EQ(w.values(), (std::vector<double>{9, 10, 11, 12}));

  // Length one is the last value.
  for (double v : {5.0, -3.0, 8.5}) {
    w.push(v, 1);
    EXPECT_EQ(w.mean(), v);
    EXPECT_EQ(w.size(), 1u);
  }
  w.clear();
  EXPECT_TRUE(w.empty());
  EXPECT_EQ(w.mean(), 0.0);
}

TEST(AverageWindow, NoDriftOverAMillionTicksOfLargeValues) {
  // A hook load around 1e5 with small wiggles: a naive running sum would drift.
  AverageWindow w;
  NaiveWindow n;
  for (int i = 0; i < 1000000; ++i) {
    double v = 1e5 + 0.001 * static_cast<double>((static_cast<long long>(i) * 7919) % 1000) +
               (i % 2 ? 1e-7 : -1e-7);
    w.push(v, 1000);
    if (i >= 999000) n.push(v, 1000);
  }
  EXPECT_NEAR(w.mean(), n.mean(), 1e-9);
}

TEST(AverageWindow, NonFiniteValueLeavesTheMeanWhenItLeavesTheWindow) {
  AverageWindow w;
  w.push(1, 3);
  w.push(std::numeric_limits<double>::quiet_NaN(), 3);
  w.push(2, 3);
  EXPECT_TRUE(std::isnan(w.mean()));
  w.push(3, 3);
  EXPECT_TRUE(std::isnan(w.mean()));
  w.push(4, 3);
  EXPECT_DOUBLE_EQ(w.mean(), 3.0);
  w.push(std::numeric_limits<double>::infinity(), 3);
  EXPECT_TRUE(std::isinf(w.mean()));
}

}  // namespace
