#include "formula/operators.h"

#include <cmath>

#include "formula/formula_exception.h"
#include "lib/str_utils.h"

namespace formula {

std::optional<Operator> operator_of(std::string_view text) {
  if (text.size() != 1) return std::nullopt;
  switch (text.front()) {
    case '+':
      return Operator::kAdd;
    case '-':
      return Operator::kSubtract;
    case '*':
      return Operator::kMultiply;
    case '/':
      return Operator::kDivide;
    case '%':
      return Operator::kRemainder;
    case '^':
      return Operator::kPower;
    case '<':
      return Operator::kLess;
    case '>':
      return Operator::kGreater;
    case '=':
      return Operator::kEqual;
    default:
      return std::nullopt;
  }
}

float apply_operator(Operator op, float a, float b) {
  switch (op) {
    case Operator::kAdd:
      return a + b;
    case Operator::kSubtract:
      return a - b;
    case Operator::kMultiply:
      return a * b;
    case Operator::kDivide:
      if (!lib::is_over_null(b)) throw FormulaException(kDivisionByZeroMessage);
      return a / b;
    case Operator::kRemainder: {
      // Truncating to an integer type would be undefined for large or non-finite values;
      // fmod of the truncated values is the same remainder without that limit.
      const float divisor = std::trunc(b);
      if (!lib::is_over_null(divisor)) throw FormulaException(kDivisionByZeroMessage);
      return std::fmod(std::trunc(a), divisor);
    }
    case Operator::kPower:
      return std::pow(a, b);
    case Operator::kLess:
      return a < b ? 1.0f : 0.0f;
    case Operator::kGreater:
      return a > b ? 1.0f : 0.0f;
    case Operator::kEqual:
      return std::fabs(a - b) < kEqualTolerance ? 1.0f : 0.0f;
  }
  throw FormulaException(kBadOperatorMessage);
}

}  // namespace formula
