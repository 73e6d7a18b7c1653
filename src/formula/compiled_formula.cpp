#include "formula/compiled_formula.h"

#include <algorithm>

#include "formula/calculator.h"
#include "formula/lexema.h"

namespace formula {

namespace {
// Stacks up to this depth live on the machine stack; deeper ones (rare) on the heap.
constexpr std::size_t kLocalDepth = 32;
}  // namespace

std::int32_t CompiledFormula::name_index(const std::string& name) {
  const auto it = std::find(names_.begin(), names_.end(), name);
  if (it != names_.end()) return static_cast<std::int32_t>(it - names_.begin());
  names_.push_back(name);
  return static_cast<std::int32_t>(names_.size() - 1);
}

// Runs the reference reduction loop on the shape of the list alone: which lexemes are
// operands and which operators does not depend on the values, so every pass's operation,
// and every error other than division by zero, is known here. The operands before the
// first operator of the list are exactly a stack, so each pass becomes one stack step.
CompiledFormula CompiledFormula::compile(std::string_view formula) {
  CompiledFormula compiled;
  if (formula.empty()) return compiled;
  LexemaList infix, rpn;
  Calculator::divide(formula, infix);
  Calculator::polskaya_notacia(infix, rpn);
  for (const Lexema& lexema : infix) {
    if (lexema.kind == kNameLexema && lexema.text != "pi") compiled.name_index(lexema.text);
  }

  std::vector<Step>& steps = compiled.steps_;
  steps.clear();
  std::size_t depth = 0;  // operands in front of the next lexeme
  std::size_t next = 0;   // the rest of the list starts at rpn[next]
  int passes = 0;
  auto fail = [&](std::string_view message) {
    steps.push_back(Step{Code::kFail});
    compiled.failure_ = message;
  };
  auto push = [&](const Lexema& operand) {
    if (operand.kind == kNameLexema && operand.text != "pi") {
      steps.push_back(Step{Code::kPushName, 0, compiled.name_index(operand.text)});
    } else {
      const float value = operand.kind == kNameLexema ? kPi : operand.value;
      steps.push_back(Step{Code::kPushNumber, 0, -1, value});
    }
    compiled.max_depth_ = std::max(compiled.max_depth_, ++depth);
  };

  while (depth + (rpn.size() - next) > 1) {
    if (++passes > kMaxReductions) {
      fail(kTooManyPassesMessage);
      return compiled;
    }
    // Operands in front of the first operator; they are read only when an operation uses
    // them, so when no operator follows they need no steps at all.
    const std::size_t steps_before = steps.size(), depth_before = depth;
    while (next < rpn.size() && rpn[next].kind != kOperatorLexema) push(rpn[next++]);
    if (next == rpn.size()) {
      steps.resize(steps_before);
      depth = depth_before;
      fail(kBadNotationMessage);
      return compiled;
    }
    const Lexema& op = rpn[next++];
    const std::optional<Function> function = function_of(op.text);
    if (depth == 0) {
      fail(kBadNotationMessage);
      return compiled;
    }
    if (depth == 1) {
      if (op.text == "-") {
        steps.push_back(Step{Code::kNegate});
      } else if (op.text == "+") {
        steps.push_back(Step{Code::kPlus});
      } else if (function) {
        steps.push_back(Step{Code::kFunctionOfOnly, static_cast<std::uint8_t>(*function)});
      } else {
        fail(kBadNotationMessage);
        return compiled;
      }
    } else if (function) {
      steps.push_back(Step{Code::kFunctionOfTop, static_cast<std::uint8_t>(*function)});
    } else if (const std::optional<Operator> arithmetic = operator_of(op.text)) {
      steps.push_back(Step{Code::kOperator, static_cast<std::uint8_t>(*arithmetic)});
      --depth;
    } else {
      steps.push_back(Step{Code::kBadOperator});
      compiled.failure_ = kBadOperatorMessage;
      return compiled;
    }
  }

  if (depth == 1) {
    steps.push_back(Step{Code::kResult});
  } else if (next == rpn.size()) {
    steps.push_back(Step{Code::kZero});  // an empty list: only blanks or "()"
  } else if (rpn[next].kind == kOperatorLexema) {
    fail(kInternalErrorMessage);  // a lone operator or bracket has no value
  } else {
    push(rpn[next]);
    steps.push_back(Step{Code::kResult});
  }
  return compiled;
}

float CompiledFormula::slot_value(const Slot& slot, const Resolver& resolver) const {
  if (slot.name < 0) return slot.value;
  return static_cast<float>(resolver(names_[static_cast<std::size_t>(slot.name)]));
}

float CompiledFormula::evaluate(const Resolver& resolver) const {
  if (!resolver) return 0;
  Slot local[kLocalDepth];
  std::vector<Slot> heap;
  Slot* stack = local;
  if (max_depth_ > kLocalDepth) {
    heap.resize(max_depth_);
    stack = heap.data();
  }
  std::size_t depth = 0;
  for (const Step& step : steps_) {
    switch (step.code) {
      case Code::kPushNumber:
        stack[depth++] = Slot{step.value, -1};
        break;
      case Code::kPushName:
        stack[depth++] = Slot{0, step.name};
        break;
      case Code::kNegate:
        stack[0] = Slot{-slot_value(stack[0], resolver), -1};
        break;
      case Code::kPlus:
        stack[0] = Slot{slot_value(stack[0], resolver), -1};
        break;
      case Code::kFunctionOfOnly: {
        const float x = slot_value(stack[0], resolver);
        stack[0] = Slot{apply_function(static_cast<Function>(step.operation), x), -1};
        break;
      }
      case Code::kFunctionOfTop: {
        slot_value(stack[depth - 2], resolver);  // read, as the reference does, then kept
        const float x = slot_value(stack[depth - 1], resolver);
        stack[depth - 1] = Slot{apply_function(static_cast<Function>(step.operation), x), -1};
        break;
      }
      case Code::kOperator: {
        // Two statements: the left operand is read first.
        const float a = slot_value(stack[depth - 2], resolver);
        const float b = slot_value(stack[depth - 1], resolver);
        stack[depth - 2] = Slot{apply_operator(static_cast<Operator>(step.operation), a, b), -1};
        --depth;
        break;
      }
      case Code::kBadOperator:
        slot_value(stack[depth - 2], resolver);
        slot_value(stack[depth - 1], resolver);
        throw FormulaException(kBadOperatorMessage);
      case Code::kFail:
        throw FormulaException(failure_);
      case Code::kResult:
        return slot_value(stack[depth - 1], resolver);
      case Code::kZero:
        return 0;
    }
  }
  return 0;  // not reached: compile() always ends the steps with a final step
}

std::optional<std::string> CompiledFormula::certain_error() const {
  switch (steps_.back().code) {
    case Code::kFail:
    case Code::kBadOperator:
      return std::string(failure_);
    default:
      return std::nullopt;
  }
}

}  // namespace formula
