// A formula converted once into a list of evaluation steps, for formulas evaluated over and
// over (a derived parameter computed every tick for months). Tokenizing, conversion and the
// checks that do not depend on values happen once, in compile(); evaluate() then runs a
// short stack program.
//
// evaluate() is a drop-in replacement for Calculator::calculate on the same text: it gives
// the same 32-bit value or raises the same FormulaException, and it calls the resolver for
// the same names in the same order (so even a resolver that throws or counts its calls sees
// no difference). The tests hold it to that over a large generated set of formulas.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formula/formula_exception.h"
#include "formula/functions.h"
#include "formula/operators.h"
#include "formula/resolver.h"

namespace formula {

class CompiledFormula {
 public:
  // The empty formula: evaluates to 0.
  CompiledFormula() = default;

  // Raises the tokenizer's FormulaException (a bad character) at once: calculate would
  // raise it on every call whatever the values. All other errors are raised by evaluate,
  // at the point the reference evaluator reaches them.
  static CompiledFormula compile(std::string_view formula);

  // The formula's value with names read through `resolver`; 0 with an empty resolver.
  // Thread-safe for concurrent calls as far as the resolver is.
  float evaluate(const Resolver& resolver) const;

  // Every name written in the formula, each once, in order of appearance ("pi" is not a
  // name here: it is a constant).
  const std::vector<std::string>& names() const { return names_; }

  // When every evaluation with a resolver must end in an error whatever the values (a
  // misplaced operator, unbalanced brackets, too many operations), that error's text, so
  // a formula can be rejected when it is defined. An evaluation may still stop earlier
  // with "Деление на ноль".
  std::optional<std::string> certain_error() const;

 private:
  enum class Code : std::uint8_t {
    kPushNumber,      // value
    kPushName,        // name index; read only when an operation uses it
    kNegate,          // sign "-" of the only operand
    kPlus,            // sign "+" of the only operand
    kFunctionOfOnly,  // function of the only operand
    kFunctionOfTop,   // function of the top operand; the one below it is read and kept
    kOperator,        // a op b on the two top operands
    kBadOperator,  // reads the two top operands, then raises "Некорректный оператор"
    kFail,         // raises failure_
    kResult,       // the value of the only operand
    kZero,         // nothing to evaluate
  };
  struct Step {
    Code code;
    std::uint8_t operation = 0;  // Operator or Function
    std::int32_t name = -1;
    float value = 0;
  };
  // A stack entry: a value, or a name not read yet.
  struct Slot {
    float value;
    std::int32_t name;
  };

  float slot_value(const Slot& slot, const Resolver& resolver) const;
  std::int32_t name_index(const std::string& name);

  std::vector<Step> steps_{Step{Code::kZero}};
  std::vector<std::string> names_;
  std::string_view failure_;  // one of formula_exception.h's texts, for kFail
  std::size_t max_depth_ = 0;
};

}  // namespace formula
