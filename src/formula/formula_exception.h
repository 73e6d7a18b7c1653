// The one error a formula evaluation reports, with the operator-facing texts it carries.
// The texts are shown to the operator as they are, so callers and tests compare them
// exactly; keep them byte for byte.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace formula {

// A character that belongs neither to names and numbers nor to operators; the offending
// character follows the text immediately ("...формуле:#").
inline constexpr std::string_view kBadCharacterMessage = "Некорректный символ в формуле:";
// More reductions than kMaxReductions: the formula is too long (or loops).
inline constexpr std::string_view kTooManyPassesMessage =
    "Ошибка в алгоритме вычисления значения из польской нотации";
// Nothing left to reduce, or an operator with no operand to apply to.
inline constexpr std::string_view kBadNotationMessage = "Некорректная польская нотация";
inline constexpr std::string_view kDivisionByZeroMessage = "Деление на ноль";
// A bracket or other non-arithmetic lexeme in an operator's place.
inline constexpr std::string_view kBadOperatorMessage = "Некорректный оператор";
// A lexeme of a kind the evaluator does not know: a fault of the caller, not the formula.
inline constexpr std::string_view kInternalErrorMessage = "Ошибка в программе";

class FormulaException : public std::runtime_error {
 public:
  explicit FormulaException(std::string_view message) : std::runtime_error(std::string(message)) {}

  // The message (UTF-8), as shown to the operator.
  std::string text() const { return what(); }
};

}  // namespace formula
