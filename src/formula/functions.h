// The functions a formula may call, shared by the step-by-step evaluator and the compiled
// form. Each takes and gives a 32-bit float; the computation itself runs in double.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace formula {

enum class Function { kSin, kCos, kTg, kArcsin, kArccos, kRandom };

// The names as written in formulas, indexed by Function. Case matters: "SIN" is a name.
inline constexpr std::array<std::string_view, 6> kFunctionNames = {"sin",    "cos",    "tg",
                                                                   "arcsin", "arccos", "random"};

std::optional<Function> function_of(std::string_view name);

// f(x):
// - sin, cos, tg: angles in radians. tg gives 0 where the tangent has a pole, that is when
//   (x - pi/2) / pi has no fractional part by the near-zero test (a non-finite x included).
// - arcsin, arccos: 0 outside [-1, 1] and for NaN, rather than NaN.
// - random: a pseudo-random value uniform in [0, x) (in (x, 0] for a negative x).
float apply_function(Function f, float x);

// Restarts the calling thread's generator behind "random" with a fixed seed, so a run can be
// repeated. Each thread has its own generator, seeded unpredictably on first use.
void seed_random(std::uint32_t seed);

}  // namespace formula
