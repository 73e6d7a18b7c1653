// One lexeme of a formula, as the tokenizer emits it and the evaluator reduces it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace formula {

// Lexeme kinds. The kind is a plain 32-bit integer rather than an enum because the
// evaluator must detect and report any other value a caller might hand it.
inline constexpr std::int32_t kNumberLexema = 0;    // value holds the parsed number
inline constexpr std::int32_t kNameLexema = 1;      // a value name or the constant "pi"
inline constexpr std::int32_t kOperatorLexema = 2;  // operator, bracket or function name

struct Lexema {
  std::int32_t kind = kNumberLexema;
  // The text as written, blanks removed ("1 2" is "12"). Numbers produced by the
  // evaluator itself have no text.
  std::string text;
  float value = 0;

  friend bool operator==(const Lexema&, const Lexema&) = default;
};

using LexemaList = std::vector<Lexema>;

}  // namespace formula
