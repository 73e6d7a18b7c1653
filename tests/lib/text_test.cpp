// Text family: encodings, identifier case rules, number text, quoting and escaping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/ident.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"
#include "lib/string_container.h"

namespace {

using lib::StrEncConverter;
using lib::StringContainer;
using lib::StringEnc;

// Independent UTF-8 encoder, so expected values do not come from the code under test.
std::string utf8_of(char32_t cp) {
  if (cp < 0x80) return std::string(1, static_cast<char>(cp));
  const int trail = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  std::string s(1, static_cast<char>((0xFF << (7 - trail)) | (cp >> (6 * trail))));
  for (int i = trail - 1; i >= 0; --i) s += static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F));
  return s;
}

std::string byte_str(unsigned b) {
  return std::string(1, static_cast<char>(b));
}

// The published windows-1251 assignments of 0x80..0xBF. 0x98 has no letter; it carries the
// C1 control U+0098 so that every byte survives a round trip.
constexpr char32_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char32_t expected_cp1251(unsigned b) {
  if (b < 0x80) return b;
  if (b < 0xC0) return kCp1251High[b - 0x80];
  return 0x0410 + (b - 0xC0);  // А..я in alphabet order, without Ё/ё
}

const std::string kFffd = "\xEF\xBF\xBD";

// --- Encodings

TEST(TextEncoding, EveryCp1251ByteMapsToItsCodePointAndBack) {
  std::string all_bytes, all_utf8;
  for (unsigned b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const std::string utf8 = utf8_of(expected_cp1251(b));
    EXPECT_EQ(lib::cp1251_to_utf8(byte_str(b)), utf8);
    EXPECT_EQ(lib::utf8_to_cp1251(utf8), byte_str(b));
    all_bytes += byte_str(b);
    all_utf8 += utf8;
  }
  // Whole strings too: a converter must not lose its place between characters.
  EXPECT_EQ(lib::cp1251_to_utf8(all_bytes), all_utf8);
  EXPECT_EQ(lib::utf8_to_cp1251(all_utf8), all_bytes);
}

// One '?' per unmappable character (an emoji is one) and per maximal ill-formed
// subsequence; the byte that ends a broken sequence is read again as the start of the next.
TEST(TextEncoding, UnmappableAndIllFormedInputBecomesQuestionMarks) {
  const std::pair<const char*, const char*> cases[] = {
      {"a日b", "a?b"},         {"ä", "?"},         {"\xF0\x9F\x98\x80", "?"},
      {"\xEF\xBF\xBD", "?"},   {"a\xFF.", "a?."},  {"\xD0", "?"},
      {"\xE2\x82.", "?."},     {"\xC0\x80", "??"}, {"\xD0\xD0\x96", "?\xC6"},
      {"\xED\xA0\x80", "???"}, {"\x80\x80", "??"}};
  for (const auto& [utf8, cp1251] : cases) {
    EXPECT_EQ(lib::utf8_to_cp1251(utf8), cp1251) << ::testing::PrintToString(std::string(utf8));
  }
}

TEST(TextEncoding, InvalidUtf8NeverBreaksConversion) {
  StrEncConverter utf8(StringEnc::kUtf8);
  EXPECT_EQ(utf8.from_utf8("ok\xFF"), "ok?");
  EXPECT_EQ(utf8.to_utf8("ok\xFF"), "ok" + kFffd);
  EXPECT_EQ(utf8.to_utf8("\xE2\x82"), kFffd);
  EXPECT_EQ(utf8.to_utf8("\xF4\x90\x80\x80"), kFffd + kFffd + kFffd + kFffd);  // > U+10FFFF

  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), len(0, 40);
  for (int iter = 0; iter < 500; ++iter) {
    std::string junk;
    for (int n = len(rng); n > 0; --n) junk += static_cast<char>(byte(rng));
    ASSERT_TRUE(lib::is_valid_utf8(utf8.to_utf8(junk)));
    ASSERT_TRUE(lib::is_valid_utf8(utf8.from_utf8(junk)));
    ASSERT_TRUE(lib::is_valid_utf8(lib::cp1251_to_utf8(lib::utf8_to_cp1251(junk))));
  }
}

TEST(TextEncoding, ConverterFollowsItsEncodingAndKnowsTwoCodes) {
  StrEncConverter conv;
  EXPECT_EQ(conv.encoding(), StringEnc::kUtf8);
  EXPECT_EQ(conv.to_utf8("Глубина"), "Глубина");
  EXPECT_EQ(conv.from_utf8("Глубина"), "Глубина");

  conv.set_encoding(StringEnc::kCp1251);
  EXPECT_EQ(conv.from_utf8("Глубина"), "\xC3\xEB\xF3\xE1\xE8\xED\xE0");
  EXPECT_EQ(conv.to_utf8("\xC3\xEB\xF3\xE1\xE8\xED\xE0"), "Глубина");
  EXPECT_EQ(conv.to_utf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));

  // A code no build knows is handled as UTF-8 rather than failing.
  const StrEncConverter odd(static_cast<StringEnc>(9));
  EXPECT_EQ(odd.to_utf8("Глубина"), "Глубина");

  for (int code : {-1, 0, 1, 2, 3, 4, 65001}) {
    EXPECT_EQ(lib::is_known_encoding(code), code == 2 || code == 3) << code;
  }
}

TEST(TextEncoding, Utf8Validation) {
  for (const char* ok : {"", "abc", "Ёж", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
                         "\xEF\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80"}) {
    EXPECT_TRUE(lib::is_valid_utf8(ok)) << ok;
  }
  EXPECT_TRUE(lib::is_valid_utf8(std::string_view("\0", 1)));
  for (const char* bad : {"\x80", "\xBF", "\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80",
                          "\xED\xBF\xBF", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                          "\xF5\x80\x80\x80", "\xFF", "\xE2\x82", "\xD0\x41", "abc\xD0"}) {
    EXPECT_FALSE(lib::is_valid_utf8(bad)) << ::testing::PrintToString(std::string(bad));
  }
}

// One decision per text: a stray byte in UTF-8 does not make the whole text CP1251, and
// CP1251 Cyrillic that happens to form a valid UTF-8 pair is still CP1251.
TEST(TextEncoding, GuessDecidesForTheWholeText) {
  using G = lib::TextEncodingGuess;
  struct Case {
    const char* name;
    std::string bytes;
    G::Kind kind;
    std::size_t bad_line;
    std::size_t bad_offset;
  };
  // "[связь]\nпорт=5\n" in CP1251; "Д«" (C4 AB) is also a well-formed UTF-8 pair.
  const std::string cp1251 = "[\xF1\xE2\xFF\xE7\xFC]\n\xEF\xEE\xF0\xF2=5\n";
  const std::string cp1251_with_pair = cp1251 + "\xE8\xEC\xFF=\xC4\xAB\xC1\xF3\xF0\n";
  const Case cases[] = {
      {"empty", "", G::kUtf8, 0, 0},
      {"pure ASCII", "[a]\nx=1\n", G::kUtf8, 0, 0},
      {"valid UTF-8", "[связь]\nпорт=5\n", G::kUtf8, 0, 0},
      {"byte-order mark", "\xEF\xBB\xBF[связь]\n", G::kUtf8, 0, 0},
      {"CP1251 text", cp1251, G::kCp1251, 1, 1},
      {"CP1251 with a chance pair", cp1251_with_pair, G::kCp1251, 1, 1},
      {"ASCII with one high byte", "[a]\nx=\xB0\n", G::kCp1251, 2, 6},
      {"UTF-8 with one stray byte", "[связь]\nпорт=5\xFF\nимя=Буровая\n", G::kDamagedUtf8, 2, 23},
      {"UTF-8 cut in a character", "[связь]\nимя=Бу\xD1\n", G::kDamagedUtf8, 2, 24},
  };
  for (const Case& c : cases) {
    const G g = lib::guess_text_encoding(c.bytes);
    EXPECT_EQ(g.kind, c.kind) << c.name;
    EXPECT_EQ(g.bad_line, c.bad_line) << c.name;
    EXPECT_EQ(g.bad_offset, c.bad_offset) << c.name;
    EXPECT_EQ(g.bad_sequences == 0, c.kind == G::kUtf8) << c.name;
  }
}

TEST(TextEncoding, CodePointReaderAndWriter) {
  for (char32_t cp : {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::string s;
    lib::append_utf8(s, cp);
    EXPECT_EQ(s, utf8_of(cp));
    std::size_t pos = 0;
    EXPECT_EQ(lib::next_utf8_code_point(s, pos), cp);
    EXPECT_EQ(pos, s.size());
  }
  std::string s;
  lib::append_utf8(s, 0xD800);
  lib::append_utf8(s, 0x110000);
  EXPECT_EQ(s, kFffd + kFffd);

  const std::string broken = "\xE2\x82x";
  std::size_t pos = 0;
  EXPECT_EQ(lib::next_utf8_code_point(broken, pos), lib::kInvalidCodePoint);
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(lib::next_utf8_code_point(broken, pos), U'x');
  EXPECT_EQ(lib::next_utf8_code_point(broken, pos), lib::kInvalidCodePoint);  // at the end
  EXPECT_EQ(pos, broken.size());
}

// --- Identifiers

TEST(IdentCase, CyrillicAndLatinCaseMapping) {
  EXPECT_EQ(lib::to_lower("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"),
            "абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
  EXPECT_EQ(lib::to_upper("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
            "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
  EXPECT_EQ(lib::to_lower("ВЕС_НА_КРЮКЕ Hook-Load 2"), "вес_на_крюке hook-load 2");
  EXPECT_EQ(lib::to_upper("Ёмкость №3, ї і ґ"), "ЁМКОСТЬ №3, Ї І Ґ");
  EXPECT_EQ(lib::to_upper("Depth"), "DEPTH");
  EXPECT_EQ(lib::to_lower(""), "");
  // Full mappings may change the length; the root locale keeps the dotted I of Turkish.
  EXPECT_EQ(lib::to_upper("straße"), "STRASSE");
  EXPECT_EQ(lib::to_lower("İ"), "i\xCC\x87");
  // Invalid UTF-8 is left as it is.
  EXPECT_EQ(lib::to_lower("ВЕС\xFF"), "ВЕС\xFF");
  EXPECT_EQ(lib::to_upper("вес\xFF"), "вес\xFF");
}

TEST(IdentCase, EqualityIgnoresCaseOnly) {
  struct Case {
    const char *a, *b;
    bool equal;
  };
  // Look-alikes (е/ё, Cyrillic Р), a letter more or less and ill-formed bytes stay apart;
  // an ASCII identifier can equal a non-ASCII one (the Kelvin sign folds to k).
  // clang-format off
  const Case cases[] = {
      {"ВЕС_НА_КРЮКЕ", "вес_на_крюке", true}, {"Ёмкость", "ёМКОСТЬ", true},
      {"DepthBit", "depthbit", true},  {"Давление_P1", "давление_p1", true}, {"", "", true},
      {"\u212Aelly", "KELLY", true},   {"STRASSE", "straße", true},  {"ΟΔΟΣ", "οδος", true},
      {"ВЕС\xFF", "вес\xFF", true},    {"ель", "ёль", false},        {"вес", "вес1", false},
      {"вес1", "вес", false},          {"Depth", "Dept", false},     {"Pressure", "Рressure", false},
      {"a", "", false},                {"ВЕС\xFF", "вес\xFE", false}, {"\xD0", "\xD0\x90", false},
      {"\xFF", "?", false}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(lib::ident_equal(c.a, c.b), c.equal)
        << ::testing::PrintToString(std::string(c.a)) << " vs "
        << ::testing::PrintToString(std::string(c.b));
  }
}

// The identifiers used to check that equality, ordering and hashing agree.
// clang-format off
const std::vector<std::string> kIdents = {
    "", "a", "A", "b", "ab", "AB", "Ab_1", "вес", "ВЕС", "Вес", "весы", "ВЕС_НА_КРЮКЕ",
    "вес_на_крюке", "ель", "ёль", "ЁЛЬ", "Ёмкость", "ёмкость", "kelly", "KELLY", "\u212Aelly",
    "straße", "STRASSE", "strasse", "ς", "σ", "Σ", "z", "я", "Я", "ВЕС\xFF", "вес\xFF", "\xFF",
    "\xFE", "\xD0", "~", "\x7F", "Depth", "depth", "depth ", "№", "日本"};
// clang-format on

TEST(IdentCase, LessAndHashAgreeWithEquality) {
  const lib::IdentLess less;
  const lib::IdentHash hash;
  for (const auto& a : kIdents) {
    for (const auto& b : kIdents) {
      SCOPED_TRACE(::testing::PrintToString(a) + " vs " + ::testing::PrintToString(b));
      const bool eq = lib::ident_equal(a, b);
      EXPECT_EQ(!less(a, b) && !less(b, a), eq);
      EXPECT_FALSE(less(a, b) && less(b, a));
      if (eq) {
        EXPECT_EQ(hash(a), hash(b));
      }
      // Case-insensitive ordering must not depend on which side is upper-cased.
      if (lib::is_valid_utf8(a) && lib::is_valid_utf8(b)) {
        EXPECT_EQ(less(a, b), less(lib::to_upper(a), lib::to_lower(b)));
      }
    }
  }
  // Transitivity, which std::map relies on.
  for (const auto& a : kIdents) {
    for (const auto& b : kIdents) {
      for (const auto& c : kIdents) {
        if (less(a, b) && less(b, c)) {
          ASSERT_TRUE(less(a, c)) << a << " " << b << " " << c;
        }
      }
    }
  }
}

TEST(IdentCase, EveryCyrillicLetterMatchesItsOtherCase) {
  for (char32_t cp = 0x0400; cp <= 0x04FF; ++cp) {
    const std::string s = "x" + utf8_of(cp) + "_1";
    SCOPED_TRACE(s);
    EXPECT_TRUE(lib::ident_equal(s, lib::to_lower(s)));
    EXPECT_TRUE(lib::ident_equal(lib::to_upper(s), s));
    EXPECT_EQ(lib::IdentHash{}(s), lib::IdentHash{}(lib::to_upper(s)));
  }
}

TEST(IdentMap, OrderedAndUnorderedMapsFindAnyCase) {
  std::map<std::string, int, lib::IdentLess> m;
  std::unordered_map<std::string, int, lib::IdentHash, lib::IdentEqual> u;
  for (const auto& [key, value] :
       {std::pair{"ВЕС_НА_КРЮКЕ", 1}, {"Глубина", 2}, {"Ёмкость", 3}, {"Depth", 4}}) {
    m[key] = u[key] = value;
  }
  EXPECT_FALSE(m.emplace("вес_на_крюке", 9).second);
  EXPECT_FALSE(m.emplace("ЁМКОСТЬ", 9).second);
  EXPECT_TRUE(m.emplace("Емкость", 5).second);  // е is not ё
  EXPECT_EQ(m.size(), 5u);
  EXPECT_FALSE(u.emplace("вес_на_крюке", 9).second);
  EXPECT_FALSE(u.emplace("ёМКОСТЬ", 9).second);
  EXPECT_TRUE(u.emplace("емкость", 5).second);

  const auto it = m.find(std::string_view("вес_на_крюке"));  // transparent lookup
  ASSERT_NE(it, m.end());
  EXPECT_EQ(it->first, "ВЕС_НА_КРЮКЕ");
  EXPECT_EQ(it->second, 1);
  EXPECT_EQ(m.find(std::string_view("ГЛУБИНА"))->second, 2);
  EXPECT_EQ(m.find(std::string_view("depth"))->second, 4);
  EXPECT_EQ(m.find(std::string_view("глубин")), m.end());
  EXPECT_EQ(u.at("вес_на_крюке"), 1);
  EXPECT_EQ(u.at("ЁМКОСТЬ"), 3);
  EXPECT_EQ(u.at("DEPTH"), 4);
  EXPECT_EQ(u.count("вес_на_крюк"), 0u);
}

// --- Number text

TEST(StrToFloat, AcceptsTolerantForms) {
  // Exactness matters for the decimal comma: it must not go through a lossy path. "1e-400"
  // rounds to zero and is still a number.
  // clang-format off
  const std::pair<const char*, double> cases[] = {
      {"1.5", 1.5}, {"1,5", 1.5}, {"  -2.5e3 ", -2500.0}, {"\t7\r\n", 7.0}, {"+3", 3.0},
      {".5", 0.5}, {",5", 0.5}, {"5.", 5.0}, {"1,5E-2", 0.015}, {"007", 7.0}, {"1e-400", 0.0},
      {"0,1", 0.1}, {"2345,678901234", 2345.678901234}, {"-INF", -HUGE_VAL}};
  // clang-format on
  for (const auto& [text, value] : cases) EXPECT_EQ(lib::str_to_float(text), value) << text;
  EXPECT_TRUE(std::isnan(lib::str_to_float("nan")));
}

TEST(StrToFloat, MalformedTextGivesZero) {
  for (const char* bad :
       {"",    "   ",  "abc", "12abc", "1.2.3",  "1,2,3", "1,234.5", "1 000",
        "+-3", "++3",  "-",   "+",     ".",      ",",     "e5",      "1e",
        "1e+", "0x10", "- 5", "1e999", "-1e999", "5 5",   "1..5",    "\xD0\x9E"}) {
    double out = 42;
    EXPECT_FALSE(lib::try_str_to_float(bad, out)) << bad;
    EXPECT_EQ(out, 0.0) << bad;
    EXPECT_EQ(lib::str_to_float(bad), 0.0) << bad;
  }
  double out = 42;
  EXPECT_TRUE(lib::try_str_to_float(" 0 ", out));
  EXPECT_EQ(out, 0.0);
  EXPECT_TRUE(lib::try_str_to_float("-0,25", out));
  EXPECT_EQ(out, -0.25);
  // Long input takes another buffer path; it must behave the same.
  EXPECT_DOUBLE_EQ(lib::str_to_float("1," + std::string(300, '0') + "1"), 1.0);
  EXPECT_EQ(lib::str_to_float(std::string(300, '1') + "x"), 0.0);
  EXPECT_EQ(lib::str_to_float("1" + std::string(400, '0')), 0.0);         // too large
  EXPECT_EQ(lib::str_to_float("0," + std::string(400, '0') + "1"), 0.0);  // tiny
  EXPECT_TRUE(lib::try_str_to_float("0," + std::string(400, '0') + "1", out));
}

TEST(StrToInt, SignsBlanksAndFallback) {
  EXPECT_EQ(lib::str_to_int(" 42 "), 42);
  EXPECT_EQ(lib::str_to_int("+7"), 7);
  EXPECT_EQ(lib::str_to_int("-7"), -7);
  EXPECT_EQ(lib::str_to_int("-0"), 0);
  EXPECT_EQ(lib::str_to_int("9223372036854775807"), std::numeric_limits<long long>::max());
  EXPECT_EQ(lib::str_to_int("-9223372036854775808"), std::numeric_limits<long long>::min());
  for (const char* bad : {"", " ", "9223372036854775808", "-9223372036854775809", "1.5", "1,0",
                          "0x1F", "--1", "+-1", "-+1", "+", "-", "12abc", "1 2"}) {
    EXPECT_EQ(lib::str_to_int(bad, -99), -99) << bad;
  }
  EXPECT_EQ(lib::str_to_int("junk"), 0);
}

TEST(StrFormat, FixedDecimals) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    int decimals;
    const char* text;
  };
  // Decimals outside 0..15 are clamped instead of failing; no negative zero is shown.
  // clang-format off
  const Case cases[] = {
      {3.14159, 2, "3.14"}, {2.675, 0, "3"}, {-1.5, 1, "-1.5"}, {1234.5, 3, "1234.500"},
      {-0.0, 0, "0"}, {1e20, 0, "100000000000000000000"}, {-0.0001, 2, "0.00"},
      {-0.004, 2, "0.00"}, {-0.005001, 2, "-0.01"}, {2.5, -3, "2"}, {0.1, 99, "0.100000000000000"},
      {std::nan(""), 2, "nan"}, {-std::nan(""), 2, "nan"}, {kInf, 2, "inf"}, {-kInf, 2, "-inf"}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(lib::float_to_str(c.value, c.decimals), c.text) << c.value << " " << c.decimals;
  }
  EXPECT_EQ(lib::float_to_str(std::numeric_limits<double>::max(), 15).size(), 309u + 1 + 15);
}

TEST(StrFormat, ShortestFormRoundTrips) {
  const std::pair<double, const char*> cases[] = {
      {0.1, "0.1"}, {-2.5, "-2.5"},         {100.0, "100"},
      {-0.0, "0"},  {-std::nan(""), "nan"}, {-std::numeric_limits<double>::infinity(), "-inf"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(lib::float_to_str(value), text);

  std::mt19937_64 rng(42);
  int checked = 0;
  while (checked < 5000) {
    const std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    const std::string s = lib::float_to_str(v);
    double back = 0;
    ASSERT_TRUE(lib::try_str_to_float(s, back)) << s;
    ASSERT_EQ(back, v) << s;
    ASSERT_LE(s.size(), 24u) << s;
    ++checked;
  }
  for (double v : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                   std::numeric_limits<double>::denorm_min(), 1.0 / 3, 1e21, 123456789.125}) {
    EXPECT_EQ(lib::str_to_float(lib::float_to_str(v)), v) << v;
  }
  for (double v : {std::nan(""), std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity()}) {
    const double back = lib::str_to_float(lib::float_to_str(v));
    EXPECT_TRUE(std::isnan(v) ? std::isnan(back) : back == v) << v;
  }
}

TEST(StrFormat, NullTolerance) {
  for (double v : {0.0, -0.0, 1e-10, -1e-9, std::nan("")}) EXPECT_FALSE(lib::is_over_null(v)) << v;
  for (double v : {2e-9, -0.5}) EXPECT_TRUE(lib::is_over_null(v)) << v;
}

// --- Quoting, trimming and escaping

TEST(StrQuote, QuotesOnlyWhenNeeded) {
  const std::pair<const char*, const char*> cases[] = {
      {"abc", "abc"},       {"Глубина", "Глубина"},
      {"", "\"\""},         {"a b", "\"a b\""},
      {"a\tb", "\"a\tb\""}, {"a,b", "\"a,b\""},
      {"\"", "\"\"\"\""},   {"say \"hi\"", "\"say \"\"hi\"\"\""}};
  for (const auto& [text, quoted] : cases) EXPECT_EQ(lib::quoted_str(text), quoted) << text;
}

TEST(StrQuote, DequoteUndoesQuoting) {
  // One quote is not a pair, an unclosed quote stays, and only quotes at both ends count.
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"  abc  ", "abc"}, {" \" a b \" ", " a b "}, {"\"say \"\"hi\"\"\"", "say \"hi\""},
      {"\"\"", ""}, {"\"", "\""}, {"\"open", "\"open"}, {"a\"\"b", "a\"\"b"}};
  // clang-format on
  for (const auto& [text, plain] : cases) EXPECT_EQ(lib::dequoted_str(text), plain) << text;
  for (const char* s :
       {"", " ", "\"", "\"\"", "a b", " lead", "trail ", "x,y", "Ёж \"ok\"", "\t\r\n", "plain"}) {
    EXPECT_EQ(lib::dequoted_str(lib::quoted_str(s)), s) << s;
  }
}

TEST(StrQuote, TrimBlanks) {
  EXPECT_EQ(lib::trim(" \t\r\nab c\n\t "), "ab c");
  EXPECT_EQ(lib::trim("   "), "");
  EXPECT_EQ(lib::trim(""), "");
  EXPECT_EQ(lib::trim("\vx\f"), "\vx\f");  // only the four blanks are trimmed
}

TEST(TextEscape, EscapesAndUnescapes) {
  const std::pair<const char*, const char*> both_ways[] = {
      {"a\\b\r\nc\td", "a\\\\b\\r\\nc\\td"}, {"Строка 1\nСтрока 2", "Строка 1\\nСтрока 2"}};
  for (const auto& [normal, line] : both_ways) {
    EXPECT_EQ(lib::normal_text_to_file(normal), line);
    EXPECT_EQ(lib::file_text_to_normal(line), normal);
  }
  // Unknown escapes and a trailing backslash stay as written.
  EXPECT_EQ(lib::file_text_to_normal("C:\\data\\x"), "C:\\data\\x");
  EXPECT_EQ(lib::file_text_to_normal("end\\"), "end\\");
  EXPECT_EQ(lib::file_text_to_normal("\\\\n"), "\\n");
}

TEST(TextEscape, RandomTextRoundTripsThroughOneLine) {
  const std::vector<std::string> alphabet = {"\\", "\r", "\n", "\t", "r", "n",  "t",
                                             "a",  " ",  "Ё",  "\"", ",", "\\n"};
  std::mt19937 rng(2024);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), len(0, 20);
  for (int iter = 0; iter < 2000; ++iter) {
    std::string text;
    for (std::size_t n = len(rng); n > 0; --n) text += alphabet[pick(rng)];
    const std::string line = lib::normal_text_to_file(text);
    ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    ASSERT_EQ(lib::file_text_to_normal(line), text) << line;
  }
}

// --- StringContainer

TEST(CommaText, WritesQuotedItems) {
  const StringContainer c{"a", "b c", "", "d,e", "say \"x\"", "Ёж"};
  EXPECT_EQ(c.comma_text(), "a,\"b c\",\"\",\"d,e\",\"say \"\"x\"\"\",Ёж");
  EXPECT_EQ(StringContainer{}.comma_text(), "");
  EXPECT_EQ(StringContainer{""}.comma_text(), "\"\"");
}

TEST(CommaText, ReadsForeignLayouts) {
  using V = std::vector<std::string>;
  // clang-format off
  const std::pair<const char*, V> cases[] = {
      {"a, b ,c", {"a", "b", "c"}}, {"\"a,b\",c", {"a,b", "c"}},
      {"  \"a b\"  , x y ", {"a b", "x y"}}, {"\"abc,def", {"abc,def"}}, {"\"a\"b,c", {"ab", "c"}},
      {"a,", {"a", ""}}, {",", {"", ""}}, {"\"\"", {""}}, {"  ", {}}};
  // clang-format on
  StringContainer c{"x"};
  for (const auto& [text, expected] : cases) {
    c.set_comma_text(text);
    V items;
    for (const auto& item : c.items()) items.push_back(item.text);
    EXPECT_EQ(items, expected) << text;
  }
}

TEST(CommaText, TagsAndLookups) {
  StringContainer c;
  c.add("Глубина", 10);
  c.add("Вес", 20);
  c.add("Глубина", 30);
  EXPECT_EQ(c.index_of("Глубина"), 0);
  EXPECT_EQ(c.index_of("глубина"), -1);  // exact match only
  EXPECT_EQ(c.index_of_tag(20), 1);
  EXPECT_EQ(c.index_of_tag(30), 2);
  EXPECT_EQ(c.index_of_tag(0), -1);
  EXPECT_EQ(c.tag(2), 30);
  EXPECT_THROW(c.tag(3), std::out_of_range);
  EXPECT_THROW(c[3], std::out_of_range);

  c.set_comma_text(c.comma_text());
  EXPECT_EQ(c.size(), 3u);
  EXPECT_EQ(c.tag(0), 0);  // reading text resets the tags
  c[1] = "Давление";
  EXPECT_EQ(c.item(1).text, "Давление");
}

TEST(CommaText, ToFloats) {
  const StringContainer c{"1,5", " 2 ", "x", "-3e2", ""};
  EXPECT_EQ(c.to_floats(), (std::vector<double>{1.5, 2.0, 0.0, -300.0, 0.0}));
}

TEST(CommaText, RandomItemsRoundTripInBothForms) {
  const std::vector<std::string> alphabet = {"",   " ",  ",", "\"", "a", "Б", "\t",
                                             "\n", "\r", "'", "\\", ";", "№"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), len(0, 6), count(0, 6);
  for (int iter = 0; iter < 3000; ++iter) {
    StringContainer c;
    for (std::size_t n = count(rng); n > 0; --n) {
      std::string item;
      for (std::size_t k = len(rng); k > 0; --k) item += alphabet[pick(rng)];
      c.add(item);
    }
    StringContainer back;
    back.set_comma_text(c.comma_text());
    ASSERT_EQ(back, c) << c.comma_text();
    back.set_spaced_text(c.spaced_text());
    ASSERT_EQ(back, c) << c.spaced_text();
  }
}

TEST(StringContainerSpaced, WritesAndReadsTokens) {
  const StringContainer c{"a", "b c", "", "Ёж"};
  EXPECT_EQ(c.spaced_text(), "a \"b c\" \"\" Ёж");

  const std::pair<const char*, StringContainer> cases[] = {
      {"  a \t \"b  c\"\nd ", {"a", "b  c", "d"}},
      {"x,y \"say \"\"hi\"\"\"", {"x,y", "say \"hi\""}},
      {"\"ab\"cd e", {"abcd", "e"}},
      {"\"open ended", {"open ended"}},
      {" \t ", {}}};
  StringContainer r{"stale"};
  for (const auto& [text, expected] : cases) {
    r.set_spaced_text(text);
    EXPECT_EQ(r, expected) << text;
  }
}

}  // namespace

namespace {

// A settings cell that must be a float the tables can hold: the reason names the text.
TEST(ParseFiniteFloat, TakesNumbersAndSaysWhyItRefusesTheRest) {
  double v = 0;
  std::string why;
  EXPECT_TRUE(lib::parse_finite_float(" 12,5 ", v, why));
  EXPECT_DOUBLE_EQ(v, 12.5);
  const std::pair<const char*, const char*> refused[] = {
      {"  ", "empty"},
      {"12abc", "\"12abc\" is not a number"},
      {"inf", "\"inf\" is not a finite number"},
      {"1e39", "\"1e39\" is not a finite number"},  // beyond a 32-bit float
  };
  for (const auto& [text, reason] : refused) {
    EXPECT_FALSE(lib::parse_finite_float(text, v, why)) << text;
    EXPECT_EQ(why, reason);
  }
}

}  // namespace
