// Evaluation of operator-written formulas over named station values, for example a derived
// parameter "давление_на_входе * 0.0981 + 1". This is the reference evaluator: it cuts the
// text into lexemes, converts them to reverse Polish notation and reduces that list one
// operation at a time on every call. Formulas evaluated over and over should be compiled
// once with CompiledFormula, which gives the same results and errors.
//
// Syntax: numbers ("3.5" or "3,5"), names of Latin and Cyrillic letters (no "й"/"Й"),
// digits, "_", "." and ","; operators + - * / % ^ < > = with priorities
//   "<" ">" "="  <  "+" "-"  <  "*" "/" "%"  <  "^"  <  functions,
// all grouping from the left (2^3^2 is 64); brackets; the functions sin, cos, tg, arcsin,
// arccos, random written before a bracketed argument; the constant "pi". Blanks and control
// characters are ignored everywhere, even inside a number or name ("1 2" is 12).
// A leading "-" or "+" works only at the very start of the formula: "2*-3" and "2*(-3)"
// are errors (Некорректная польская нотация).
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "formula/formula_exception.h"
#include "formula/lexema.h"
#include "formula/resolver.h"

namespace formula {

// At most this many operator and function applications per evaluation; one more raises
// kTooManyPassesMessage. It bounds the work a damaged or hostile formula can cause.
inline constexpr int kMaxReductions = 256;
// The value of the name "pi" (exactly that spelling).
inline constexpr float kPi = 3.1415927f;

// Errors are raised as FormulaException with the texts of formula_exception.h.
class Calculator {
 public:
  using CharSet = std::set<char32_t>;
  using FuncSet = std::set<std::string, std::less<>>;

  // The value of `formula` with names read through `resolver`, rounded to a 32-bit float.
  // An empty formula gives 0. With an empty resolver the formula is still tokenized and
  // converted (so a bad character is still reported) and the result is 0.
  static float calculate(std::string_view formula, const Resolver& resolver);

  // Tokenizer: replaces `out` with the lexemes of `formula` (UTF-8). A character with a
  // code up to 0x20 is skipped without ending the current token. Ill-formed UTF-8 is
  // reported as a bad character, shown as U+FFFD.
  static void divide(std::string_view formula, LexemaList& out);
  // Replaces `out` with `infix` in reverse Polish order.
  static void polskaya_notacia(const LexemaList& infix, LexemaList& out);
  // Reduces the reverse Polish list `rpn` (consumed) to its value. An empty list gives 0.
  static float calc(LexemaList& rpn, const Resolver& resolver);

  // A number's value; for a name kPi for "pi", else 0 with an empty resolver, else the
  // resolver's value. Other kinds raise kInternalErrorMessage.
  static float calc_value(const Lexema& lexema, const Resolver& resolver);
  // A function of functions.h by name; an unknown name raises kBadOperatorMessage.
  static float calc_func(std::string_view name, float x);
  // "(" 0, ")" 1, "<" ">" "=" 2, "+" "-" 3, "*" "/" "%" 4, "^" 5, anything else 1000.
  static int get_priority(std::string_view lexeme);

  static bool contains(const CharSet& set, char32_t c) { return set.contains(c); }
  static bool contains(const FuncSet& set, std::string_view name) { return set.contains(name); }
  // Adds every character of a UTF-8 literal to `set`.
  static void fill_chars(std::string_view literal, CharSet& set);
  static void fill_funcs(std::span<const std::string_view> literals, FuncSet& set);

  // The character classes and function names, built once on first use (thread-safe).
  static const CharSet& str_chars();       // characters of names and numbers
  static const CharSet& operator_chars();  // "[]()*/+-^<>=%"
  static const CharSet& num_chars();       // a token starting with one of these is a number
  static const FuncSet& func_strs();
};

}  // namespace formula
