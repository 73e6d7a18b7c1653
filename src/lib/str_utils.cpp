#include "lib/str_utils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace lib {

namespace {

constexpr bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
constexpr bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// from_chars reports both overflow and underflow as out of range. Underflow is a real number
// that rounds to zero, overflow is not representable at all, so the two are told apart by the
// decimal exponent of the leading significant digit. Any estimate is enough here: an
// out-of-range value lies beyond 1e308 or below 1e-308.
bool is_overflow(std::string_view num) {
  std::size_t i = 0;
  if (i < num.size() && num[i] == '-') ++i;
  bool seen_point = false, seen_digit = false;
  long long int_digits = 0, leading_frac_zeros = 0;
  for (; i < num.size(); ++i) {
    const char c = num[i];
    if (c == '.') {
      seen_point = true;
    } else if (is_digit(c)) {
      if (!seen_point) {
        if (seen_digit || c != '0') {
          seen_digit = true;
          ++int_digits;
        }
      } else if (!seen_digit) {
        if (c == '0') {
          ++leading_frac_zeros;
        } else {
          seen_digit = true;
        }
      }
    } else {
      break;  // exponent marker
    }
  }
  long long magnitude = int_digits > 0 ? int_digits - 1 : -(leading_frac_zeros + 1);
  if (i < num.size() && (num[i] == 'e' || num[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < num.size() && (num[i] == '+' || num[i] == '-')) neg = num[i++] == '-';
    long long e = 0;
    for (; i < num.size() && is_digit(num[i]); ++i) {
      e = std::min(e * 10 + (num[i] - '0'), 1'000'000'000'000LL);  // saturate, no overflow
    }
    magnitude += neg ? -e : e;
  }
  return magnitude > 0;
}

// Applies the tolerance rules to text already trimmed of blanks and parses the result.
bool parse_float(std::string_view text, double& out) {
  if (text.empty()) return false;
  // from_chars takes no "+"; one leading "+" is accepted, but not "+-" or "++".
  if (text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == '-') return false;
  }
  const bool has_comma = text.find(',') != std::string_view::npos;
  const bool has_point = text.find('.') != std::string_view::npos;
  if (has_comma && has_point) return false;  // "1,234.5": grouping is not supported

  // Numbers are short; a larger stack buffer would only matter for pathological input,
  // which is copied to the heap instead.
  char local[128];
  std::string heap;
  char* buf = local;
  if (text.size() > sizeof local) {
    heap.assign(text);
    buf = heap.data();
  } else {
    std::copy(text.begin(), text.end(), local);
  }
  if (has_comma) std::replace(buf, buf + text.size(), ',', '.');

  double v = 0;
  const auto [ptr, ec] = std::from_chars(buf, buf + text.size(), v);
  if (ptr != buf + text.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    if (is_overflow(std::string_view(buf, text.size()))) return false;
    v = buf[0] == '-' ? -0.0 : 0.0;
  } else if (ec != std::errc()) {
    return false;
  }
  out = v;
  return true;
}

// "-0", "-0.00" and the like after rounding are written without the sign.
void drop_negative_zero(std::string& s) {
  if (s.size() > 1 && s.front() == '-' &&
      std::all_of(s.begin() + 1, s.end(), [](char c) { return c == '0' || c == '.'; })) {
    s.erase(0, 1);
  }
}

std::string non_finite_text(double value) {
  if (std::isnan(value)) return "nan";
  return value < 0 ? "-inf" : "inf";
}

}  // namespace

std::string_view trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && is_blank(text[b])) ++b;
  while (e > b && is_blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool try_str_to_float(std::string_view text, double& out) {
  double v = 0;
  if (!parse_float(trim(text), v)) {
    out = 0;
    return false;
  }
  out = v;
  return true;
}

bool parse_finite_float(std::string_view text, double& out, std::string& why) {
  const std::string_view t = trim(text);
  if (t.empty()) {
    why = "empty";
    return false;
  }
  if (!try_str_to_float(t, out)) {
    why = "\"" + std::string(t) + "\" is not a number";
    return false;
  }
  if (!std::isfinite(out) || std::fabs(out) > std::numeric_limits<float>::max()) {
    why = "\"" + std::string(t) + "\" is not a finite number";
    return false;
  }
  return true;
}

double str_to_float(std::string_view text) {
  double v = 0;
  try_str_to_float(text, v);
  return v;
}

long long str_to_int(std::string_view text, long long fallback) {
  text = trim(text);
  bool plus = false;
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    plus = true;
  }
  // from_chars takes its own "-", which must not follow a "+" already removed.
  if (text.empty() || (plus && !is_digit(text.front()))) return fallback;
  long long v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 10);
  if (ec != std::errc() || ptr != text.data() + text.size()) return fallback;
  return v;
}

std::string float_to_str(double value, int digits) {
  if (!std::isfinite(value)) return non_finite_text(value);
  digits = std::clamp(digits, 0, 15);
  // The largest double has 309 integer digits; sign, point and 15 decimals fit as well.
  char buf[400];
  const auto [ptr, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
  if (ec != std::errc()) return non_finite_text(value);  // cannot happen with this buffer
  std::string s(buf, ptr);
  drop_negative_zero(s);
  return s;
}

std::string float_to_str(double value) {
  if (!std::isfinite(value)) return non_finite_text(value);
  char buf[64];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return float_to_str(value, 15);  // cannot happen with this buffer
  std::string s(buf, ptr);
  drop_negative_zero(s);
  return s;
}

std::string dequoted_str(std::string_view text) {
  text = trim(text);
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::string(text);
  const std::string_view inner = text.substr(1, text.size() - 2);
  std::string out;
  out.reserve(inner.size());
  for (std::size_t i = 0; i < inner.size(); ++i) {
    out.push_back(inner[i]);
    if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
  }
  return out;
}

std::string quoted_str(std::string_view text) {
  const bool needs_quotes = text.empty() || std::any_of(text.begin(), text.end(), [](char c) {
                              return is_blank(c) || c == ',' || c == '"';
                            });
  if (!needs_quotes) return std::string(text);
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool is_over_null(double value) {
  return std::fabs(value) > kNullTolerance;
}

std::string normal_text_to_file(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string file_text_to_normal(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c != '\\' || i + 1 == line.size()) {
      out.push_back(c);  // a lone backslash at the end is kept as written
      continue;
    }
    switch (line[i + 1]) {
      case '\\':
        out.push_back('\\');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      default:
        // Unknown escapes stay as written, so hand-edited files with stray backslashes
        // (Windows paths, say) survive reading.
        out.push_back('\\');
        out.push_back(line[i + 1]);
    }
    ++i;
  }
  return out;
}

}  // namespace lib
