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

// The message calculate raises for `text`, or "" when it raises none.
std::string error_of(const std::string& text, const formula::Resolver& resolver = kZeroResolver) {
  try {
    Calculator::calculate(text, resolver);
  } catch (const FormulaException& e) {
    return e.text();
  }
  return "";
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

std::vector<std::string> rpn_of(const std::string& text) {
  LexemaList infix, rpn;
  Calculator::divide(text, infix);
  Calculator::polskaya_notacia(infix, rpn);
  return texts(rpn);
}

// Values of texts that need no resolver.
TEST(CalculatorTest, Values) {
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

TEST(CalculatorTest, DivisionByZeroIncludingNearZeroAndNaN) {
  EXPECT_EQ(error_of("1/0"), formula::kDivisionByZeroMessage);
  EXPECT_EQ(error_of("1/0.0000000001"), formula::kDivisionByZeroMessage);
  TableResolver table({{"x", std::numeric_limits<double>::quiet_NaN()}, {"y", 1e-12}});
  EXPECT_EQ(error_of("1/x", table.resolver()), formula::kDivisionByZeroMessage);
  EXPECT_EQ(error_of("1/y", table.resolver()), formula::kDivisionByZeroMessage);
  EXPECT_EQ(Calculator::calculate("1/0.5", kZeroResolver), 2);
  EXPECT_EQ(error_of("5%0.9"), formula::kDivisionByZeroMessage);
  EXPECT_EQ(error_of("5%0"), formula::kDivisionByZeroMessage);
}

TEST(CalculatorTest, NamesGoThroughTheResolver) {
  EXPECT_EQ(Calculator::calculate("a+1", nullptr), 0);
  TableResolver table({{"a", 2}, {"вес_на_крюке", 40}, {"Ёмкость_2", 3}});
  EXPECT_EQ(Calculator::calculate("a+1", table.resolver()), 3);
  EXPECT_EQ(Calculator::calculate("вес_на_крюке/Ёмкость_2 - a", table.resolver()),
            40.0f / 3.0f - 2.0f);
  // A name the resolver gives a huge double for is rounded to float like any value.
  table.values["big"] = 1e300;
  EXPECT_TRUE(std::isinf(Calculator::calculate("big", table.resolver())));
}

TEST(CalculatorTest, ResolverIsAskedLeftOperandFirstAtReductionTime) {
  TableResolver table({{"a", 1}, {"b", 2}, {"c", 3}});
  EXPECT_EQ(Calculator::calculate("a-b*c", table.resolver()), -5);
  // b*c is reduced first, then a - 6.
  EXPECT_THAT(table.asked, testing::ElementsAre("b", "c", "a"));
  table.asked.clear();
  // Division by zero stops the evaluation before "a" is ever read.
  EXPECT_EQ(error_of("a+1/0", table.resolver()), formula::kDivisionByZeroMessage);
  EXPECT_TRUE(table.asked.empty());
}

TEST(CalculatorTest, CharactersOutsideTheSetsAreNamedInTheMessage) {
  EXPECT_EQ(error_of("x#1"), bad_char("#"));
  EXPECT_EQ(error_of("йод+1"), bad_char("й"));
  EXPECT_EQ(error_of("ЙОД"), bad_char("Й"));
  EXPECT_EQ(error_of("1\u00A0+2"), bad_char("\u00A0"));  // no-break space is not a blank
  EXPECT_EQ(error_of("1;2"), bad_char(";"));
  EXPECT_EQ(error_of("a\x7F"), bad_char("\x7F"));
  // Ill-formed UTF-8 is shown as the replacement character, keeping the message valid.
  EXPECT_EQ(error_of("1+\xFF"), bad_char("\uFFFD"));
  EXPECT_EQ(error_of("\xD0"), bad_char("\uFFFD"));  // truncated two-byte sequence
  // Even without a resolver: the text is still checked.
  EXPECT_EQ(error_of("x#1", nullptr), bad_char("#"));
}

TEST(CalculatorTest, MalformedStructureIsReportedNotCrashed) {
  EXPECT_EQ(error_of("(1)(2)"), formula::kBadNotationMessage);
  EXPECT_EQ(error_of("(1+2"), formula::kBadNotationMessage);  // stray "(" after 3
  EXPECT_EQ(error_of("*2"), formula::kBadNotationMessage);
  EXPECT_EQ(error_of("(+"), formula::kBadNotationMessage);  // operator first in the list
  EXPECT_EQ(error_of("[1]"), formula::kBadNotationMessage);
  EXPECT_EQ(error_of("1+[2]"), formula::kBadOperatorMessage);  // "[" where an operator goes
  EXPECT_EQ(error_of("+"), formula::kInternalErrorMessage);    // a lone operator has no value
  EXPECT_EQ(error_of("("), formula::kInternalErrorMessage);
  EXPECT_EQ(error_of(")1"), formula::kBadNotationMessage);
  // Signs count only at the start.
  EXPECT_EQ(error_of("2*-3"), formula::kBadNotationMessage);
  EXPECT_EQ(error_of("2*(-3)"), formula::kBadNotationMessage);  // 2-3 is reduced first
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

TEST(TokenizerTest, MalformedNumbersReadAsZero) {
  LexemaList out;
  Calculator::divide("5abc+1.2.3+1,2.3+1e3", out);
  ASSERT_EQ(out.size(), 7u);
  EXPECT_EQ(out[0], (Lexema{formula::kNumberLexema, "5abc", 0}));
  EXPECT_EQ(out[2].value, 0);
  EXPECT_EQ(out[4].value, 0);
  EXPECT_EQ(out[6].value, 1000);
}

TEST(ConversionTest, ReversePolishOrder) {
  EXPECT_THAT(rpn_of("a+b*c"), testing::ElementsAre("a", "b", "c", "*", "+"));
  EXPECT_THAT(rpn_of("a*(b+c)"), testing::ElementsAre("a", "b", "c", "+", "*"));
  EXPECT_THAT(rpn_of("a^b^c"), testing::ElementsAre("a", "b", "^", "c", "^"));
  EXPECT_THAT(rpn_of("a<b+c"), testing::ElementsAre("a", "b", "c", "+", "<"));
  EXPECT_THAT(rpn_of("sin(a)*b"), testing::ElementsAre("a", "sin", "b", "*"));
  EXPECT_THAT(rpn_of("a*sin(b)"), testing::ElementsAre("a", "b", "sin", "*"));
  // Brackets left open go out as they are; ")" on an empty stack is kept too.
  EXPECT_THAT(rpn_of("(a+b"), testing::ElementsAre("a", "b", "+", "("));
  EXPECT_THAT(rpn_of(")a"), testing::ElementsAre("a", ")"));
  EXPECT_THAT(rpn_of("a)+b"), testing::ElementsAre("a", "b", "+", ")"));
  EXPECT_THAT(rpn_of("a+b)*c"), testing::ElementsAre("a", "b", "+", "c", "*"));
}

TEST(EvaluatorTest, ListsNoTokenizerCanProduce) {
  LexemaList empty;
  EXPECT_EQ(Calculator::calc(empty, kZeroResolver), 0);
  LexemaList odd_kind{Lexema{formula::kNumberLexema, "1", 1}, Lexema{7, "?", 0},
                      Lexema{formula::kOperatorLexema, "+", 0}};
  try {
    Calculator::calc(odd_kind, kZeroResolver);
    ADD_FAILURE() << "an unknown lexeme kind must be rejected";
  } catch (const FormulaException& e) {
    EXPECT_EQ(e.text(), formula::kInternalErrorMessage);
  }
  // A function lexeme reduces only the operand next to it.
  LexemaList rpn{Lexema{formula::kNumberLexema, "2", 2}, Lexema{formula::kNumberLexema, "0", 0},
                 Lexema{formula::kOperatorLexema, "cos", 0},
                 Lexema{formula::kOperatorLexema, "+", 0}};
  EXPECT_EQ(Calculator::calc(rpn, kZeroResolver), 3);
  EXPECT_THROW(Calculator::calc_func("tan", 1), FormulaException);
}

}  // namespace
