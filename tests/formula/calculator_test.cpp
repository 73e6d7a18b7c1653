#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "formula/calculator.h"

namespace {

using formula::Calculator;
using formula::FormulaException;
using formula::Lexema;
using formula::LexemaList;

// A resolver over a fixed table that also records every name it was asked for.
struct TableResolver {
  explicit TableResolver(std::map<std::string, double> table = {}) : values(std::move(table)) {}
  std::map<std::string, double> values;
  std::vector<std::string> asked;
  formula::Resolver resolver() {
    return [this](const std::string& name) {
      asked.push_back(name);
      const auto it = values.find(name);
      return it == values.end() ? 0.0 : it->second;
    };
  }
};

const formula::Resolver kZeroResolver = [](const std::string&) { return 0.0; };

// The message `run` raises, or "" when it raises none.
template <class Run>
std::string message_of(Run run) {
  try {
    run();
  } catch (const FormulaException& e) {
    return e.text();
  }
  return "";
}

std::string error_of(const std::string& text, const formula::Resolver& resolver = kZeroResolver) {
  return message_of([&] { Calculator::calculate(text, resolver); });
}

std::string bad_char(const std::string& c) {
  return std::string(formula::kBadCharacterMessage) + c;
}

std::string repeat_sum(int terms) {
  std::string text = "1";
  for (int i = 1; i < terms; ++i) text += "+1";
  return text;
}

std::vector<std::string> texts(const LexemaList& list) {
  std::vector<std::string> out;
  for (const Lexema& l : list) out.push_back(l.text);
  return out;
}

// Values of texts that need no resolver.
TEST(CalculatorTest, Values) {
  // clang-format off
  const std::pair<std::string, float> cases[] = {
      // Priorities and left grouping.
      {"2+3*4", 14}, {"(2+3)*4", 20}, {"2^3^2", 64}, {"8/2/2", 2}, {"2-3-4", -5}, {"2*3^2", 18},
      {"1+2<4", 1}, {"3<4", 1}, {"4<3", 0}, {"5>4", 1}, {"1+1=2", 1}, {"10-2*3", 4},
      {"(1+2)*(3+4)", 21}, {"((7))", 7}, {"2*(3+4)^2", 98},
      // Remainder truncates both operands and keeps the sign of the dividend.
      {"7%3", 1}, {"7.9%2.5", 1}, {"(0-7)%3", -1}, {"7%(0-3)", 1},
      // Signs at the start.
      {"-5", -5}, {"+5", 5}, {"-2*3", -6}, {"-(2+3)", -5},
      // Functions and pi.
      {"sin(0)", 0}, {"cos(pi)", -1}, {"arcsin(2)", 0}, {"2*sin(pi/2)+cos(0)", 3},
      {"sin(pi/2)*2", 2},
      // Equality tolerates noise, but not much.
      {"0.30001=0.3", 1}, {"0.3002=0.3", 0}, {"1=1.001", 0},
      // Blanks and control characters join tokens.
      {"1 2", 12}, {"\t1\n+\r2 ", 3}, {"co s(p i)", -1}, {std::string("1\0+2", 4), 3},
      {"", 0}, {"   ", 0}, {"()", 0},
      // An unmatched ")" just empties the stack.
      {"1+2)", 3}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Calculator::calculate(text, kZeroResolver), expected) << text;
  }
  EXPECT_FLOAT_EQ(Calculator::calculate("arccos(0-1)", kZeroResolver), formula::kPi);
}

TEST(CalculatorTest, PiIsAConstantOnlyInThatSpelling) {
  TableResolver table({{"Pi", 5}});
  EXPECT_EQ(Calculator::calculate("Pi", table.resolver()), 5);
  EXPECT_EQ(Calculator::calculate("pi", table.resolver()), formula::kPi);
  EXPECT_THAT(table.asked, testing::ElementsAre("Pi"));
}

TEST(CalculatorTest, DivisionByNearZeroOrNaNValues) {
  TableResolver table({{"x", std::numeric_limits<double>::quiet_NaN()}, {"y", 1e-12}});
  EXPECT_EQ(error_of("1/x", table.resolver()), formula::kDivisionByZeroMessage);
  EXPECT_EQ(error_of("1/y", table.resolver()), formula::kDivisionByZeroMessage);
  EXPECT_EQ(Calculator::calculate("1/0.5", kZeroResolver), 2);
  // Even without a resolver the text is still checked.
  EXPECT_EQ(error_of("x#1", nullptr), bad_char("#"));
}

// Damaged texts are reported with the message naming their fault, never crash.
TEST(CalculatorTest, ErrorMessages) {
  const std::pair<std::string_view, std::vector<std::string>> cases[] = {
      {formula::kDivisionByZeroMessage, {"1/0", "1/0.0000000001", "5%0.9", "5%0"}},
      // "(1+2": a stray "(" after 3; "(+": an operator first in the list; signs count only at
      // the start, and in "2*(-3)" 2-3 is reduced first.
      {formula::kBadNotationMessage, {"(1)(2)", "(1+2", "*2", "(+", "[1]", ")1", "2*-3", "2*(-3)"}},
      {formula::kBadOperatorMessage, {"1+[2]"}},      // "[" where an operator goes
      {formula::kInternalErrorMessage, {"+", "("}}};  // a lone operator has no value
  for (const auto& [message, inputs] : cases) {
    for (const auto& text : inputs) EXPECT_EQ(error_of(text), message) << text;
  }
  // The character named: a no-break space is no blank; ill-formed UTF-8, a truncated
  // sequence too, is shown as the replacement character, keeping the message valid.
  const std::pair<std::string, std::string> bad_chars[] = {
      {"x#1", "#"},      {"йод+1", "й"},          {"ЙОД", "Й"},         {"1;2", ";"},
      {"a\x7F", "\x7F"}, {"1\u00A0+2", "\u00A0"}, {"1+\xFF", "\uFFFD"}, {"\xD0", "\uFFFD"}};
  for (const auto& [text, c] : bad_chars) EXPECT_EQ(error_of(text), bad_char(c)) << text;
}

TEST(CalculatorTest, AtMost256Operations) {
  EXPECT_EQ(Calculator::calculate(repeat_sum(257), kZeroResolver), 257);
  EXPECT_EQ(error_of(repeat_sum(258)), formula::kTooManyPassesMessage);
  // The pass that finds nothing to reduce counts too: after 256 reductions it is the 257th.
  EXPECT_EQ(error_of("(" + repeat_sum(257) + ")(2)"), formula::kTooManyPassesMessage);
  EXPECT_EQ(error_of("(" + repeat_sum(256) + ")(2)"), formula::kBadNotationMessage);
  // Functions count as operations.
  std::string nested = "0";
  for (int i = 0; i < 257; ++i) nested = "sin(" + nested + ")";
  EXPECT_EQ(error_of(nested), formula::kTooManyPassesMessage);
  EXPECT_EQ(error_of(nested.substr(4, nested.size() - 5)), "");
}

TEST(TokenizerTest, KindsTextsAndValues) {
  LexemaList out{Lexema{}};  // replaced, not appended to
  Calculator::divide("sin(x1)+12,5*b.c-.5", out);
  ASSERT_EQ(out.size(), 10u);
  EXPECT_EQ(out[0], (Lexema{formula::kOperatorLexema, "sin", 0}));
  EXPECT_EQ(out[2], (Lexema{formula::kNameLexema, "x1", 0}));
  EXPECT_EQ(out[5], (Lexema{formula::kNumberLexema, "12,5", 12.5f}));
  EXPECT_EQ(out[7], (Lexema{formula::kNameLexema, "b.c", 0}));
  EXPECT_EQ(out[9], (Lexema{formula::kNumberLexema, ".5", 0.5f}));
  EXPECT_THAT(texts(out),
              testing::ElementsAre("sin", "(", "x1", ")", "+", "12,5", "*", "b.c", "-", ".5"));

  // Malformed numbers read as zero.
  Calculator::divide("5abc+1.2.3+1,2.3+1e3", out);
  ASSERT_EQ(out.size(), 7u);
  EXPECT_EQ(out[0], (Lexema{formula::kNumberLexema, "5abc", 0}));
  EXPECT_EQ(out[2].value, 0);
  EXPECT_EQ(out[4].value, 0);
  EXPECT_EQ(out[6].value, 1000);
}

TEST(TokenizerTest, FunctionNamesOnlyBeforeAnOperator) {
  LexemaList out;
  Calculator::divide("1+sin", out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[2].kind, formula::kNameLexema);  // trailing: a name
  Calculator::divide("SIN(0)", out);
  EXPECT_EQ(out[0].kind, formula::kNameLexema);  // case matters
  Calculator::divide("tg+1", out);
  EXPECT_EQ(out[0].kind, formula::kOperatorLexema);
  // A trailing function name is read through the resolver.
  TableResolver table({{"sin", 5}});
  EXPECT_EQ(Calculator::calculate("1+sin", table.resolver()), 6);
  EXPECT_THAT(table.asked, testing::ElementsAre("sin"));
}

TEST(EvaluatorTest, ListsNoTokenizerCanProduce) {
  LexemaList empty;
  EXPECT_EQ(Calculator::calc(empty, kZeroResolver), 0);
  LexemaList odd_kind{Lexema{formula::kNumberLexema, "1", 1}, Lexema{7, "?", 0},
                      Lexema{formula::kOperatorLexema, "+", 0}};
  EXPECT_EQ(message_of([&] { Calculator::calc(odd_kind, kZeroResolver); }),
            formula::kInternalErrorMessage);
  // A function lexeme reduces only the operand next to it.
  LexemaList rpn{Lexema{formula::kNumberLexema, "2", 2}, Lexema{formula::kNumberLexema, "0", 0},
                 Lexema{formula::kOperatorLexema, "cos", 0},
                 Lexema{formula::kOperatorLexema, "+", 0}};
  EXPECT_EQ(Calculator::calc(rpn, kZeroResolver), 3);
  EXPECT_THROW(Calculator::calc_func("tan", 1), FormulaException);
}

}  // namespace
