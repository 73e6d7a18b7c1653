// Arbitrary bytes as a formula. The reference evaluator must give a value or raise
// FormulaException, and the compiled form must give the same value or the same error,
// reading the same names in the same order.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "formula/calculator.h"
#include "formula/compiled_formula.h"

namespace {

struct Outcome {
  bool ok = false;
  std::uint32_t bits = 0;
  std::string error;
  std::vector<std::string> asked;
  bool operator==(const Outcome&) const = default;
};

// Values that reach the special branches: zero divisors, NaN, overflow, negatives.
double value_of(const std::string& name) {
  switch (name.size() % 5) {
    case 0:
      return 0;
    case 1:
      return 2.5;
    case 2:
      return -1;
    case 3:
      return std::numeric_limits<double>::quiet_NaN();
    default:
      return 1e30;
  }
}

template <class Evaluate>
Outcome run(Evaluate evaluate) {
  Outcome out;
  const formula::Resolver resolver = [&out](const std::string& name) {
    out.asked.push_back(name);
    return value_of(name);
  };
  formula::seed_random(1);
  try {
    const float value = evaluate(resolver);
    out.ok = true;
    out.bits = std::isnan(value) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(value);
  } catch (const formula::FormulaException& e) {
    out.error = e.text();
    if (out.error.empty()) __builtin_trap();
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Outcome reference =
      run([&](const formula::Resolver& r) { return formula::Calculator::calculate(text, r); });
  Outcome compiled;
  try {
    const formula::CompiledFormula program = formula::CompiledFormula::compile(text);
    compiled = run([&](const formula::Resolver& r) { return program.evaluate(r); });
  } catch (const formula::FormulaException& e) {
    compiled.error = e.text();
  }
  if (!(compiled == reference)) __builtin_trap();
  return 0;
}
