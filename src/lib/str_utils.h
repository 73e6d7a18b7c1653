// Small text helpers shared by the readers of settings and text files.
#pragma once

#include <string>
#include <string_view>

namespace lib {

// Tolerant number parsing for operator-typed and file text: blanks around the number are
// ignored, "." and "," are both accepted as the decimal separator, an exponent is allowed.
// Empty or malformed text (including trailing garbage such as "12abc") gives 0.
// Also: one leading "+" is allowed; a text with both "." and "," is malformed (no digit
// grouping); "nan", "inf" and "-inf" (any case) are read, so float_to_str output reads back;
// a value too large for a double is malformed, one too small reads as 0.
double str_to_float(std::string_view text);
// The same, reporting whether the text was a number; out is 0 when it was not.
bool try_str_to_float(std::string_view text, double& out);
// A settings cell or field that must hold a finite number a 32-bit float can carry: false with
// the reason for the operator in `why` ("empty", "\"x\" is not a number", "... not a finite
// number") otherwise.
bool parse_finite_float(std::string_view text, double& out, std::string& why);
// Integer form: blanks allowed, "+"/"-" sign; malformed or out-of-range text gives `fallback`.
long long str_to_int(std::string_view text, long long fallback = 0);

// Fixed-point text with `digits` decimals (0..15, clamped to that range) and "." as
// separator; "-0" is written "0" (also "-0.00" after rounding is written "0.00").
// NaN and infinities are written "nan", "inf", "-inf".
std::string float_to_str(double value, int digits);
// Shortest text that reads back to the same double ("%.17g" trimmed to what round-trips);
// large and tiny values use an exponent ("1e+21"). Negative zero is written "0".
std::string float_to_str(double value);

// Removes one pair of surrounding double quotes and undoubles inner "" pairs; text that is
// not quoted is returned trimmed of blanks. Blanks outside the quotes are dropped first.
std::string dequoted_str(std::string_view text);
// Quotes text when it holds a blank, comma, double quote or is empty, doubling inner quotes.
std::string quoted_str(std::string_view text);

// The near-zero test: true when |value| exceeds kNullTolerance. Values read from sensors
// and files carry float rounding, so an exact compare with 0 would be wrong.
inline constexpr double kNullTolerance = 1e-9;
bool is_over_null(double value);

// Multi-line text <-> one line in a line-based file. Backslash, CR, LF and TAB are escaped
// as \\, \r, \n, \t; file_text_to_normal undoes it and keeps unknown escapes as they are.
std::string normal_text_to_file(std::string_view text);
std::string file_text_to_normal(std::string_view line);

// Blanks (space, tab, CR, LF) trimmed from both ends.
std::string_view trim(std::string_view text);

}  // namespace lib
