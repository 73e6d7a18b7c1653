#include "formula/calculator.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "formula/functions.h"
#include "formula/operators.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"

namespace formula {

namespace {

// "Й" and "й" are deliberately not name characters. The sets are part of the formula
// language of saved settings: widening them would change how stored formulas read.
constexpr std::string_view kStrChars =
    "_0987654321ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.,"
    "АБВГДЕЁЖЗИКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзиклмнопрстуфхцчшщъыьэюя";
constexpr std::string_view kOperatorChars = "[]()*/+-^<>=%";
constexpr std::string_view kNumChars = "0123456789,.";
constexpr char32_t kLastBlank = 0x20;
constexpr char32_t kReplacementChar = 0xFFFD;

Lexema number(float value, std::string text = {}) {
  return Lexema{kNumberLexema, std::move(text), value};
}

bool is_function(const Lexema& lexema) {
  return lexema.kind == kOperatorLexema &&
         Calculator::contains(Calculator::func_strs(), lexema.text);
}

char32_t first_char(std::string_view text) {
  std::size_t pos = 0;
  return lib::next_utf8_code_point(text, pos);
}

// A finished token: a function name (only where an operator follows it), a number when it
// starts like one, otherwise a name.
Lexema token_lexema(std::string&& token, bool may_be_function) {
  if (may_be_function && Calculator::contains(Calculator::func_strs(), token)) {
    return Lexema{kOperatorLexema, std::move(token), 0};
  }
  if (Calculator::contains(Calculator::num_chars(), first_char(token))) {
    const float value = static_cast<float>(lib::str_to_float(token));
    return number(value, std::move(token));
  }
  return Lexema{kNameLexema, std::move(token), 0};
}

}  // namespace

float Calculator::calculate(std::string_view formula, const Resolver& resolver) {
  if (formula.empty()) return 0;
  LexemaList infix, rpn;
  divide(formula, infix);
  polskaya_notacia(infix, rpn);
  if (!resolver) return 0;
  return calc(rpn, resolver);
}

void Calculator::divide(std::string_view formula, LexemaList& out) {
  out.clear();
  std::string token;
  std::size_t pos = 0;
  while (pos < formula.size()) {
    const char32_t c = lib::next_utf8_code_point(formula, pos);
    if (c <= kLastBlank) continue;
    if (contains(str_chars(), c)) {
      lib::append_utf8(token, c);
    } else if (contains(operator_chars(), c)) {
      if (!token.empty()) out.push_back(token_lexema(std::move(token), true));
      token.clear();
      out.push_back(Lexema{kOperatorLexema, std::string(1, static_cast<char>(c)), 0});
    } else {
      std::string message(kBadCharacterMessage);
      lib::append_utf8(message, c == lib::kInvalidCodePoint ? kReplacementChar : c);
      throw FormulaException(message);
    }
  }
  // A name at the very end is never a function, even when it is spelled like one.
  if (!token.empty()) out.push_back(token_lexema(std::move(token), false));
}

void Calculator::polskaya_notacia(const LexemaList& infix, LexemaList& out) {
  out.clear();
  std::vector<const Lexema*> stack;
  for (const Lexema& lexema : infix) {
    if (lexema.kind == kNumberLexema || lexema.kind == kNameLexema) {
      out.push_back(lexema);
    } else if (stack.empty() || lexema.text == "(") {
      stack.push_back(&lexema);
    } else if (lexema.text == ")") {
      while (!stack.empty()) {
        const Lexema* top = stack.back();
        stack.pop_back();
        if (top->text == "(") break;
        out.push_back(*top);
      }
    } else {
      // ">=" rather than ">": equal priorities leave first, so every operator groups
      // from the left.
      const int priority = get_priority(lexema.text);
      while (!stack.empty() && get_priority(stack.back()->text) >= priority) {
        out.push_back(*stack.back());
        stack.pop_back();
      }
      stack.push_back(&lexema);
    }
  }
  // Unclosed "(" go out as well; the evaluator rejects them.
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) out.push_back(**it);
}

float Calculator::calc(LexemaList& rpn, const Resolver& resolver) {
  if (rpn.empty()) return 0;
  int passes = 0;
  while (rpn.size() > 1) {
    if (++passes > kMaxReductions) throw FormulaException(kTooManyPassesMessage);
    const auto op_it = std::find_if(rpn.begin(), rpn.end(),
                                    [](const Lexema& l) { return l.kind == kOperatorLexema; });
    if (op_it == rpn.end() || op_it == rpn.begin()) throw FormulaException(kBadNotationMessage);
    const std::size_t i = static_cast<std::size_t>(op_it - rpn.begin());
    const Lexema& op = rpn[i];

    if (i == 1) {
      // A sign or a function with its one operand at the start of the list.
      float result = 0;
      if (op.text == "-") {
        result = -calc_value(rpn[0], resolver);
      } else if (op.text == "+") {
        result = calc_value(rpn[0], resolver);
      } else if (is_function(op)) {
        result = calc_func(op.text, calc_value(rpn[0], resolver));
      } else {
        throw FormulaException(kBadNotationMessage);
      }
      rpn[0] = number(result);
      rpn.erase(rpn.begin() + 1);
      continue;
    }

    const float a = calc_value(rpn[i - 2], resolver);
    const float b = calc_value(rpn[i - 1], resolver);
    if (is_function(op)) {
      // A function takes only the operand next to it; the one before stays for a later
      // operator.
      rpn[i - 1] = number(calc_func(op.text, b));
      rpn.erase(rpn.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    const std::optional<Operator> arithmetic = operator_of(op.text);
    if (!arithmetic) throw FormulaException(kBadOperatorMessage);
    rpn[i - 2] = number(apply_operator(*arithmetic, a, b));
    rpn.erase(rpn.begin() + static_cast<std::ptrdiff_t>(i - 1),
              rpn.begin() + static_cast<std::ptrdiff_t>(i + 1));
  }
  return calc_value(rpn.front(), resolver);
}

float Calculator::calc_value(const Lexema& lexema, const Resolver& resolver) {
  switch (lexema.kind) {
    case kNumberLexema:
      return lexema.value;
    case kNameLexema:
      if (lexema.text == "pi") return kPi;
      if (!resolver) return 0;
      return static_cast<float>(resolver(lexema.text));
    default:
      throw FormulaException(kInternalErrorMessage);
  }
}

float Calculator::calc_func(std::string_view name, float x) {
  const std::optional<Function> f = function_of(name);
  if (!f) throw FormulaException(kBadOperatorMessage);
  return apply_function(*f, x);
}

int Calculator::get_priority(std::string_view lexeme) {
  if (lexeme == "(") return 0;
  if (lexeme == ")") return 1;
  if (lexeme == "<" || lexeme == ">" || lexeme == "=") return 2;
  if (lexeme == "+" || lexeme == "-") return 3;
  if (lexeme == "*" || lexeme == "/" || lexeme == "%") return 4;
  if (lexeme == "^") return 5;
  return 1000;
}

void Calculator::fill_chars(std::string_view literal, CharSet& set) {
  std::size_t pos = 0;
  while (pos < literal.size()) {
    const char32_t c = lib::next_utf8_code_point(literal, pos);
    if (c != lib::kInvalidCodePoint) set.insert(c);
  }
}

void Calculator::fill_funcs(std::span<const std::string_view> literals, FuncSet& set) {
  for (std::string_view name : literals) set.emplace(name);
}

const Calculator::CharSet& Calculator::str_chars() {
  static const CharSet set = [] {
    CharSet s;
    fill_chars(kStrChars, s);
    return s;
  }();
  return set;
}

const Calculator::CharSet& Calculator::operator_chars() {
  static const CharSet set = [] {
    CharSet s;
    fill_chars(kOperatorChars, s);
    return s;
  }();
  return set;
}

const Calculator::CharSet& Calculator::num_chars() {
  static const CharSet set = [] {
    CharSet s;
    fill_chars(kNumChars, s);
    return s;
  }();
  return set;
}

const Calculator::FuncSet& Calculator::func_strs() {
  static const FuncSet set = [] {
    FuncSet s;
    fill_funcs(kFunctionNames, s);
    return s;
  }();
  return set;
}

}  // namespace formula
