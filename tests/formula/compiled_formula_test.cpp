#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "formula/calculator.h"
#include "formula/compiled_formula.h"

namespace {

using formula::Calculator;
using formula::CompiledFormula;
using formula::FormulaException;

// Everything observable about one evaluation: the value (bit for bit), or the error, and
// the names the resolver was asked for, in order.
struct Outcome {
  bool ok = false;
  std::uint32_t bits = 0;
  std::string error;
  std::vector<std::string> asked;

  bool operator==(const Outcome& other) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  os << (o.ok ? "value " + std::to_string(std::bit_cast<float>(o.bits)) : "error " + o.error);
  os << " asked:";
  for (const auto& name : o.asked) os << ' ' << name;
  return os;
}

// Values chosen to reach every branch: zero divisors, NaN, infinities, negatives; the name
// "отказ" makes the resolver itself throw.
const std::map<std::string, double> kValues = {
    {"a", 2.5},   {"b", -3},     {"c", 0},
    {"x", 1e-12}, {"big", 1e38}, {"n", std::numeric_limits<double>::quiet_NaN()},
    {"вес", 40},  {"Ёмк", 0.75},
};

template <class Evaluate>
Outcome run(Evaluate evaluate, std::uint32_t seed) {
  Outcome out;
  const formula::Resolver resolver = [&out](const std::string& name) {
    out.asked.push_back(name);
    if (name == "отказ") throw std::runtime_error("нет значения");
    const auto it = kValues.find(name);
    return it == kValues.end() ? 1.0 : it->second;
  };
  formula::seed_random(seed);
  try {
    const float value = evaluate(resolver);
    out.ok = true;
    // All NaNs are one outcome; their payload is not part of the contract.
    out.bits = std::isnan(value) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(value);
  } catch (const FormulaException& e) {
    out.error = e.text();
  } catch (const std::runtime_error& e) {
    out.error = std::string("resolver: ") + e.what();
  }
  return out;
}

Outcome reference(const std::string& text, std::uint32_t seed) {
  return run([&](const formula::Resolver& r) { return Calculator::calculate(text, r); }, seed);
}

Outcome compiled(const std::string& text, std::uint32_t seed) {
  CompiledFormula program;
  try {
    program = CompiledFormula::compile(text);
  } catch (const FormulaException& e) {
    Outcome out;
    out.error = e.text();
    return out;
  }
  return run([&](const formula::Resolver& r) { return program.evaluate(r); }, seed);
}

// Formulas from a small grammar, then roughly half of them damaged by inserting, deleting
// or swapping characters, so both well-formed and broken shapes are covered.
class FormulaGenerator {
 public:
  explicit FormulaGenerator(std::uint32_t seed) : rng_(seed) {}

  std::string next() {
    std::string text = expression(pick(5));
    const int damage = pick(4) == 0 ? 0 : pick(4);
    for (int i = 0; i < damage; ++i) damage_once(text);
    if (pick(150) == 0) text = long_chain(250 + pick(12));
    return text;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  template <std::size_t N>
  const char* one_of(const char* const (&items)[N]) {
    return items[pick(N)];
  }

  std::string operand() {
    static const char* const kOperands[] = {
        "a",       "b", "c", "x", "big", "n",    "вес", "Ёмк", "pi",  "отказ",
        "unknown", "1", "2", "0", "0.5", "3,25", "1e3", "7",   "1 0", "0.0000000001"};
    return one_of(kOperands);
  }

  std::string expression(int depth) {
    if (depth == 0 || pick(4) == 0) return operand();
    static const char* const kOps[] = {"+", "-", "*", "/", "%", "^", "<", ">", "="};
    static const char* const kFuncs[] = {"sin", "cos", "tg", "arcsin", "arccos", "random"};
    switch (pick(6)) {
      case 0:
        return std::string(one_of(kFuncs)) + "(" + expression(depth - 1) + ")";
      case 1:
        return "(" + expression(depth - 1) + ")";
      case 2:
        return std::string(pick(2) ? "-" : "+") + expression(depth - 1);
      default:
        return expression(depth - 1) + one_of(kOps) + expression(depth - 1);
    }
  }

  void damage_once(std::string& text) {
    static const char* const kPieces[] = {"(", ")", "[",   "]", "+", "-",    "*", "^", " ",
                                          "#", "й", "sin", "1", "a", "\xFF", ",", "."};
    if (text.empty()) {
      text = one_of(kPieces);
      return;
    }
    // Positions are byte offsets; cutting a multi-byte letter is a welcome case too.
    const std::size_t pos = static_cast<std::size_t>(pick(static_cast<int>(text.size())));
    switch (pick(3)) {
      case 0:
        text.insert(pos, one_of(kPieces));
        break;
      case 1:
        text.erase(pos, 1);
        break;
      default:
        std::swap(text[pos], text[static_cast<std::size_t>(pick(static_cast<int>(text.size())))]);
    }
  }

  // Near the 256-operation bound; with operands that cannot stop the evaluation early.
  std::string long_chain(int terms) {
    static const char* const kSafe[] = {"a", "b", "1", "0.5", "pi", "вес"};
    std::string text = one_of(kSafe);
    for (int i = 1; i < terms; ++i) text += std::string(pick(2) ? "+" : "*") + one_of(kSafe);
    return text;
  }

  std::mt19937 rng_;
};

TEST(CompiledFormulaTest, SameOutcomeAsTheReferenceOnGeneratedFormulas) {
  FormulaGenerator generator(20240611);
  std::map<std::string, int> outcomes;  // how often each result kind was seen
  constexpr int kFormulas = 30000;
  for (int i = 0; i < kFormulas; ++i) {
    const std::string text = generator.next();
    const auto seed = static_cast<std::uint32_t>(i + 1);
    const Outcome expected = reference(text, seed);
    ASSERT_EQ(compiled(text, seed), expected) << "formula: " << text;
    ++outcomes[expected.ok ? "value" : expected.error.substr(0, 30)];
  }
  // The set must actually reach every outcome, or the comparison proves little.
  const std::string bad_char(formula::kBadCharacterMessage.substr(0, 30));
  for (std::string_view kind :
       {std::string_view("value"), std::string_view(bad_char), formula::kTooManyPassesMessage,
        formula::kBadNotationMessage, formula::kDivisionByZeroMessage, formula::kBadOperatorMessage,
        formula::kInternalErrorMessage, std::string_view("resolver: нет значения")}) {
    EXPECT_GT(outcomes[std::string(kind.substr(0, 30))], 10) << kind;
  }
}

TEST(CompiledFormulaTest, DeepNestingUsesAHeapStack) {
  std::string text = "a";
  for (int i = 0; i < 200; ++i) text = "a+(" + text + ")";
  const Outcome out = compiled(text, 1);
  ASSERT_TRUE(out.ok) << out;
  EXPECT_EQ(std::bit_cast<float>(out.bits), 201 * 2.5f);
  EXPECT_EQ(out, reference(text, 1));
}

TEST(CompiledFormulaTest, OneCompilationFollowsChangingValues) {
  const CompiledFormula program = CompiledFormula::compile("давление*2 + pi - давление");
  double pressure = 1;
  const formula::Resolver live = [&pressure](const std::string&) { return pressure; };
  EXPECT_EQ(program.evaluate(live), 2 + formula::kPi - 1);
  pressure = 10;
  EXPECT_EQ(program.evaluate(live), 20 + formula::kPi - 10);
  EXPECT_EQ(program.evaluate(nullptr), 0);
  EXPECT_THAT(program.names(), testing::ElementsAre("давление"));
}

}  // namespace
