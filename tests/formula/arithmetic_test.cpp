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
