// The operators and functions shared by both evaluation paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "formula/formula_exception.h"
#include "formula/functions.h"
#include "formula/operators.h"

namespace {

using formula::apply_function;
using formula::apply_operator;
using formula::Function;
using formula::Operator;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(OperatorsTest, RemainderBeyondTheIntegerRangeIsExact) {
  // 3e9 and 5e9 are exact floats but do not fit a 32-bit int; non-finite operands give NaN.
  EXPECT_EQ(apply_operator(Operator::kRemainder, 3e9f, 7), static_cast<float>(3000000000LL % 7));
  EXPECT_EQ(apply_operator(Operator::kRemainder, -5e9f, 7), static_cast<float>(-5000000000LL % 7));
  EXPECT_EQ(apply_operator(Operator::kRemainder, 1e20f, 1e20f), 0);
  EXPECT_EQ(apply_operator(Operator::kRemainder, -7.9f, 2.5f), -1);
  EXPECT_TRUE(std::isnan(apply_operator(Operator::kRemainder, kInf, 3)));
  EXPECT_TRUE(std::isnan(apply_operator(Operator::kRemainder, kNaN, 3)));
  EXPECT_THROW(apply_operator(Operator::kRemainder, 1, kNaN), formula::FormulaException);
  EXPECT_THROW(apply_operator(Operator::kRemainder, 1, -0.99f), formula::FormulaException);
}

TEST(FunctionsTest, RandomIsUniformInTheHalfOpenRangeAndRepeatsAfterASeed) {
  formula::seed_random(12345);
  double sum = 0;
  int low_half = 0;
  constexpr int kDraws = 20000;
  for (int i = 0; i < kDraws; ++i) {
    const float r = apply_function(Function::kRandom, 10);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 10);
    sum += r;
    if (r < 5) ++low_half;
  }
  EXPECT_NEAR(sum / kDraws, 5.0, 0.2);
  EXPECT_NEAR(low_half, kDraws / 2, kDraws / 20);
  for (int i = 0; i < 1000; ++i) {
    const float r = apply_function(Function::kRandom, -2);
    ASSERT_LE(r, 0);
    ASSERT_GT(r, -2);
  }
  EXPECT_EQ(apply_function(Function::kRandom, 0), 0);
  EXPECT_TRUE(std::isnan(apply_function(Function::kRandom, kNaN)));

  auto draws = [](std::uint32_t seed) {
    formula::seed_random(seed);
    std::vector<float> out;
    for (int i = 0; i < 50; ++i) out.push_back(apply_function(Function::kRandom, 1000));
    return out;
  };
  EXPECT_EQ(draws(7), draws(7));
  EXPECT_NE(draws(7), draws(8));
}

// The seed whose first draw is the generator's largest output 2^31 - 2: the generator's step
// x -> 48271 x mod m inverted, a^(m-2) mod m being a's inverse as m = 2^31 - 1 is prime.
std::uint32_t seed_for_largest_draw() {
  constexpr std::int64_t m = 2147483647, a = 48271;
  std::int64_t inverse = 1, base = a;
  for (std::int64_t e = m - 2; e > 0; e >>= 1) {
    if (e & 1) inverse = inverse * base % m;
    base = base * base % m;
  }
  return static_cast<std::uint32_t>((m - 1) * inverse % m);
}

TEST(FunctionsTest, RandomNeverReachesItsBoundEvenForTheLargestDraw) {
  for (float x : {1.0f, 3.0f, 1e30f, -1.0f}) {
    formula::seed_random(seed_for_largest_draw());
    const float r = apply_function(Function::kRandom, x);
    EXPECT_LT(std::fabs(r), std::fabs(x)) << x;
    EXPECT_GT(std::fabs(r), std::fabs(x) * 0.999999f) << x;  // it really was the top draw
  }
}

}  // namespace
