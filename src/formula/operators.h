// The binary arithmetic of formulas, shared by the step-by-step evaluator and the compiled
// form so the two cannot drift apart. Every operand and result is a 32-bit float.
#pragma once

#include <optional>
#include <string_view>

namespace formula {

enum class Operator {
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kRemainder,
  kPower,
  kLess,
  kGreater,
  kEqual
};

// Two values closer than this compare equal under "=": values read from sensors carry noise.
inline constexpr double kEqualTolerance = 0.0001;

// The operator a lexeme text stands for: one of "+-*/%^<>=". Brackets, functions and
// anything else give nothing.
std::optional<Operator> operator_of(std::string_view text);

// a op b. "/" and "%" raise FormulaException "Деление на ноль" when the divisor fails the
// near-zero test (for "%" the divisor truncated to an integer; NaN fails it too). "%" is the
// remainder of the truncated operands, sign of the dividend, computed exactly even beyond
// the 32-bit integer range. Comparisons give 1 or 0.
float apply_operator(Operator op, float a, float b);

}  // namespace formula
