#include "lib/str_enc.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

namespace lib {

namespace {

constexpr char32_t kReplacementChar = 0xFFFD;

// CP1251 is a single-byte code page, so ICU's converter is read once into lookup tables and
// every later conversion is a table lookup. That keeps per-line conversion cheap and needs no
// converter object per thread. ICU maps all 256 bytes and, with fallbacks off (the default),
// maps back exactly those code points, so the tables hold the whole converter.
struct Cp1251Tables {
  // Byte -> its UTF-8 form (one to three bytes).
  std::array<std::array<char, 4>, 256> utf8{};
  std::array<unsigned char, 256> utf8_len{};
  // Code point -> byte: a direct table below U+0800 (ASCII, Cyrillic, Latin-1 signs), -1 when
  // unmapped, and a sorted list for the few punctuation and currency signs above it.
  std::array<std::int16_t, 0x800> low{};
  std::vector<std::pair<char32_t, unsigned char>> high;
  bool ascii_identity = true;
};

Cp1251Tables build_cp1251_tables() {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("windows-1251", &err);
  if (U_FAILURE(err) || cnv == nullptr) {
    throw std::runtime_error(std::string("ICU has no windows-1251 converter: ") + u_errorName(err));
  }
  // Stop callbacks make an unmapped byte or code point an error instead of a substitute, so
  // the table marks it as unmapped rather than recording ICU's substitution character.
  ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);

  Cp1251Tables t;
  t.low.fill(-1);
  for (int b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    UChar u[4];
    err = U_ZERO_ERROR;
    ucnv_reset(cnv);
    const int32_t n = ucnv_toUChars(cnv, u, 4, &in, 1, &err);
    // A single-byte code page decodes to one BMP unit; anything else is treated as unmapped.
    const bool mapped = U_SUCCESS(err) && n == 1 && !(u[0] >= 0xD800 && u[0] < 0xE000);
    const char32_t cp = mapped ? u[0] : kReplacementChar;
    std::string enc;
    append_utf8(enc, cp);
    std::copy(enc.begin(), enc.end(), t.utf8[b].begin());
    t.utf8_len[b] = static_cast<unsigned char>(enc.size());
    if (b < 0x80 && cp != static_cast<char32_t>(b)) t.ascii_identity = false;
    if (!mapped) continue;

    char out[8];
    err = U_ZERO_ERROR;
    ucnv_reset(cnv);
    const int32_t m = ucnv_fromUChars(cnv, out, sizeof out, u, 1, &err);
    // Only mappings that lead back to the same byte go into the reverse tables.
    if (U_FAILURE(err) || m != 1 || static_cast<unsigned char>(out[0]) != b) continue;
    if (cp < t.low.size()) {
      t.low[cp] = static_cast<std::int16_t>(b);
    } else {
      t.high.emplace_back(cp, static_cast<unsigned char>(b));
    }
  }
  ucnv_close(cnv);
  std::sort(t.high.begin(), t.high.end());
  return t;
}

const Cp1251Tables& cp1251_tables() {
  static const Cp1251Tables tables = build_cp1251_tables();
  return tables;
}

// Byte for a code point, or '?' when CP1251 cannot hold it.
char cp1251_byte(const Cp1251Tables& t, char32_t cp) {
  if (cp < t.low.size()) return t.low[cp] < 0 ? '?' : static_cast<char>(t.low[cp]);
  const auto it =
      std::lower_bound(t.high.begin(), t.high.end(), cp,
                       [](const auto& entry, char32_t value) { return entry.first < value; });
  return it != t.high.end() && it->first == cp ? static_cast<char>(it->second) : '?';
}

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// UTF-8 -> UTF-8 with every ill-formed sequence replaced by `replacement`.
std::string sanitize_utf8(std::string_view bytes, char32_t replacement) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t start = i;
    const char32_t cp = next_utf8_code_point(bytes, i);
    if (cp == kInvalidCodePoint) {
      append_utf8(out, replacement);
    } else {
      out.append(bytes.data() + start, i - start);
    }
  }
  return out;
}

}  // namespace

char32_t next_utf8_code_point(std::string_view bytes, std::size_t& pos) {
  if (pos >= bytes.size()) return kInvalidCodePoint;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned lead = byte(pos++);
  if (lead < 0x80) return lead;

  // Number of trail bytes and the allowed range of the first one; the narrowed ranges after
  // E0, ED, F0 and F4 exclude overlong forms, surrogates and values past U+10FFFF.
  int trail = 0;
  unsigned lo = 0x80, hi = 0xBF;
  char32_t cp = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return kInvalidCodePoint;  // stray trail byte, C0/C1 or F5..FF
  }

  for (int k = 0; k < trail; ++k) {
    if (pos >= bytes.size()) return kInvalidCodePoint;
    const unsigned t = byte(pos);
    if (t < lo || t > hi) return kInvalidCodePoint;  // the offending byte starts the next call
    cp = (cp << 6) | (t & 0x3F);
    ++pos;
    lo = 0x80;
    hi = 0xBF;
  }
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = kReplacementChar;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool is_known_encoding(int code) {
  return code == static_cast<int>(StringEnc::kCp1251) || code == static_cast<int>(StringEnc::kUtf8);
}

std::string cp1251_to_utf8(std::string_view bytes) {
  const Cp1251Tables& t = cp1251_tables();
  if (t.ascii_identity && is_ascii(bytes)) return std::string(bytes);
  // Written through a raw pointer into a buffer sized for the worst case (three bytes each),
  // then cut to length: much faster than growing the string byte by byte.
  std::string out(bytes.size() * 3, '\0');
  char* p = out.data();
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const char* src = t.utf8[b].data();
    for (unsigned k = 0; k < t.utf8_len[b]; ++k) *p++ = src[k];
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return out;
}

std::string utf8_to_cp1251(std::string_view utf8) {
  const Cp1251Tables& t = cp1251_tables();
  if (t.ascii_identity && is_ascii(utf8)) return std::string(utf8);
  // Every code point or ill-formed run takes at least one input byte and gives one output byte.
  std::string out(utf8.size(), '\0');
  char* p = out.data();
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    if (b0 < 0x80) {
      *p++ = cp1251_byte(t, b0);
      ++i;
      continue;
    }
    // Cyrillic letters are two-byte forms; decode them inline, leave the rest to the reader.
    if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < utf8.size()) {
      const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
      if ((b1 & 0xC0) == 0x80) {
        *p++ = cp1251_byte(t, (char32_t{b0} & 0x1F) << 6 | (b1 & 0x3F));
        i += 2;
        continue;
      }
    }
    const char32_t cp = next_utf8_code_point(utf8, i);
    *p++ = cp == kInvalidCodePoint ? '?' : cp1251_byte(t, cp);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    if (next_utf8_code_point(bytes, i) == kInvalidCodePoint) return false;
  }
  return true;
}

TextEncodingGuess guess_text_encoding(std::string_view bytes) {
  TextEncodingGuess g;
  std::size_t line = 1;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      if (b == '\n') ++line;
      ++i;
      continue;
    }
    const std::size_t start = i;
    if (next_utf8_code_point(bytes, i) != kInvalidCodePoint) {
      ++g.good_multibyte;
      continue;
    }
    if (g.bad_sequences++ == 0) {
      g.bad_offset = start;
      g.bad_line = line;
    }
  }
  if (g.bad_sequences == 0) {
    g.kind = TextEncodingGuess::kUtf8;
  } else if (g.bad_sequences > g.good_multibyte) {
    g.kind = TextEncodingGuess::kCp1251;
  } else {
    g.kind = TextEncodingGuess::kDamagedUtf8;
  }
  return g;
}

std::string to_valid_utf8(std::string_view bytes) {
  if (is_valid_utf8(bytes)) return std::string(bytes);
  return sanitize_utf8(bytes, kReplacementChar);
}

std::string StrEncConverter::to_utf8(std::string_view bytes) const {
  if (enc_ == StringEnc::kCp1251) return cp1251_to_utf8(bytes);
  return to_valid_utf8(bytes);
}

std::string StrEncConverter::from_utf8(std::string_view utf8) const {
  if (enc_ == StringEnc::kCp1251) return utf8_to_cp1251(utf8);
  if (is_valid_utf8(utf8)) return std::string(utf8);
  return sanitize_utf8(utf8, U'?');
}

}  // namespace lib
