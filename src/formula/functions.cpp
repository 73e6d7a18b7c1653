#include "formula/functions.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <random>

#include "lib/str_utils.h"

namespace formula {

namespace {

// The scale that maps the 31-bit generator output onto [0, 1).
constexpr double kRandomScale = 4.656613e-10;
constexpr std::uint32_t kRandomModulus = 2147483647;

std::uint32_t unpredictable_seed() {
  try {
    return std::random_device{}();
  } catch (...) {
    // No entropy source (a sandbox): the clock still differs from run to run.
    return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

// minstd_rand yields 31-bit integers in [1, 2^31 - 2]. One per thread: formulas evaluated on
// worker threads must not share unguarded state.
std::minstd_rand& generator() {
  thread_local std::minstd_rand engine(unpredictable_seed());
  return engine;
}

float random_below(float x) {
  const std::uint32_t r = static_cast<std::uint32_t>(generator()()) % kRandomModulus;
  float result = static_cast<float>(static_cast<double>(r) * x * kRandomScale);
  // The scale is a little above 2^-31 and the product is rounded to float, so the largest
  // draws could reach x itself; keep the promised open upper end.
  if (std::isfinite(x) && x != 0 && std::fabs(result) >= std::fabs(x)) {
    result = std::nextafter(x, 0.0f);
  }
  return result;
}

float tangent(float x) {
  const double turns = (static_cast<double>(x) - std::numbers::pi / 2) / std::numbers::pi;
  if (!lib::is_over_null(turns - std::trunc(turns))) return 0;
  return static_cast<float>(std::tan(static_cast<double>(x)));
}

bool in_unit_range(float x) {
  return x >= -1.0f && x <= 1.0f;  // false for NaN
}

}  // namespace

std::optional<Function> function_of(std::string_view name) {
  for (std::size_t i = 0; i < kFunctionNames.size(); ++i) {
    if (kFunctionNames[i] == name) return static_cast<Function>(i);
  }
  return std::nullopt;
}

float apply_function(Function f, float x) {
  const double arg = x;
  switch (f) {
    case Function::kSin:
      return static_cast<float>(std::sin(arg));
    case Function::kCos:
      return static_cast<float>(std::cos(arg));
    case Function::kTg:
      return tangent(x);
    case Function::kArcsin:
      return in_unit_range(x) ? static_cast<float>(std::asin(arg)) : 0.0f;
    case Function::kArccos:
      return in_unit_range(x) ? static_cast<float>(std::acos(arg)) : 0.0f;
    case Function::kRandom:
      return random_below(x);
  }
  return 0;
}

void seed_random(std::uint32_t seed) {
  generator().seed(seed);
}

}  // namespace formula
