#include "lib/ident.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string>

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include "lib/str_enc.h"

namespace lib {

namespace {

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

constexpr unsigned char ascii_lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
constexpr unsigned char ascii_upper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// --- Whole-string case mapping -------------------------------------------------------------

using CaseFn = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

// Maps a UTF-8 string through one of ICU's UTF-16 case functions with the root locale, so
// the result does not depend on the process or OS locale.
std::string change_case(std::string_view utf8, CaseFn fn,
                        unsigned char (*ascii_fn)(unsigned char)) {
  if (is_ascii(utf8)) {
    std::string out(utf8);
    for (char& c : out) c = static_cast<char>(ascii_fn(static_cast<unsigned char>(c)));
    return out;
  }
  // ICU lengths are int32_t and the buffers below grow up to nine times the input, so text
  // beyond that bound (far past any identifier) is left as it is, like invalid UTF-8.
  if (utf8.size() > INT32_MAX / 16 || !is_valid_utf8(utf8)) return std::string(utf8);

  const auto src_len = static_cast<int32_t>(utf8.size());
  UErrorCode err = U_ZERO_ERROR;
  std::u16string wide(utf8.size(), u'\0');  // UTF-16 never needs more units than UTF-8 bytes
  int32_t wide_len = 0;
  u_strFromUTF8(reinterpret_cast<UChar*>(wide.data()), static_cast<int32_t>(wide.size()), &wide_len,
                utf8.data(), src_len, &err);
  if (U_FAILURE(err)) return std::string(utf8);
  wide.resize(static_cast<std::size_t>(wide_len));

  // Most text keeps its length; the rare growth (e.g. "ŉ" upper-cased to two letters) is
  // reported by ICU with the size needed, and the second call then fits.
  std::u16string mapped(wide.size() + 8, u'\0');
  int32_t mapped_len = 0;
  for (int attempt = 0;; ++attempt) {
    err = U_ZERO_ERROR;
    mapped_len = fn(reinterpret_cast<UChar*>(mapped.data()), static_cast<int32_t>(mapped.size()),
                    reinterpret_cast<const UChar*>(wide.data()), wide_len, "", &err);
    if (err != U_BUFFER_OVERFLOW_ERROR || attempt > 0) break;
    mapped.assign(static_cast<std::size_t>(mapped_len), u'\0');
  }
  if (U_FAILURE(err)) return std::string(utf8);
  mapped.resize(static_cast<std::size_t>(mapped_len));

  std::string out(mapped.size() * 3, '\0');  // a UTF-16 unit takes at most three UTF-8 bytes
  int32_t out_len = 0;
  err = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &out_len,
              reinterpret_cast<const UChar*>(mapped.data()), static_cast<int32_t>(mapped.size()),
              &err);
  if (U_FAILURE(err)) return std::string(utf8);
  out.resize(static_cast<std::size_t>(out_len));
  return out;
}

// --- Identifier comparison ----------------------------------------------------------------
//
// Identifiers compare by their full Unicode case folding. Folding is context-free (unlike
// lower-casing, where a final sigma depends on its neighbours), so it can be produced one
// code point at a time and compared lazily without building folded copies of both strings.
// The folded text is a sequence of "units": folded code points, and for ill-formed UTF-8
// each raw byte as its own unit placed above all code points. Equality, ordering and hashing
// all work on that same sequence, which is what keeps them consistent with each other.

constexpr char32_t kRawByteUnit = 0x110000;

// Full case folding of one code point into out (room for three); returns the count.
int fold_code_point(char32_t cp, char32_t* out) {
  UChar src[2];
  int32_t src_len = 0;
  U16_APPEND_UNSAFE(src, src_len, cp);
  UChar dst[8];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = u_strFoldCase(dst, 8, src, src_len, U_FOLD_CASE_DEFAULT, &err);
  if (U_FAILURE(err) || n <= 0) {
    out[0] = cp;
    return 1;
  }
  int count = 0;
  // A full folding is at most three code points.
  for (int32_t i = 0; i < n && count < 3;) {
    UChar32 c;
    U16_NEXT_UNSAFE(dst, i, c);
    out[count++] = static_cast<char32_t>(c);
  }
  return count;
}

// Latin, Greek and Cyrillic letters below U+0530 are looked up in a table taken from ICU on
// first use; calling ICU for each letter of each comparison would dominate map lookups.
// Entries that fold to more than one code point hold 0 and go to ICU every time.
constexpr char32_t kFoldTableEnd = 0x530;

const std::array<char32_t, kFoldTableEnd>& fold_table() {
  static const std::array<char32_t, kFoldTableEnd> table = [] {
    std::array<char32_t, kFoldTableEnd> t{};
    for (char32_t cp = 0; cp < kFoldTableEnd; ++cp) {
      char32_t folded[3];
      t[cp] = fold_code_point(cp, folded) == 1 ? folded[0] : 0;
    }
    return t;
  }();
  return table;
}

class FoldCursor {
 public:
  FoldCursor(std::string_view s, std::size_t pos) : s_(s), pos_(pos) {}

  // Next unit, or false at the end of the text.
  bool next(char32_t& unit) {
    if (pending_pos_ < pending_len_) {
      unit = pending_[pending_pos_++];
      return true;
    }
    if (pos_ >= s_.size()) return false;
    const auto b = static_cast<unsigned char>(s_[pos_]);
    if (b < 0x80) {
      ++pos_;
      unit = ascii_lower(b);
      return true;
    }
    const std::size_t start = pos_;
    const char32_t cp = next_utf8_code_point(s_, pos_);
    pending_pos_ = pending_len_ = 0;
    if (cp == kInvalidCodePoint) {
      for (std::size_t i = start; i < pos_; ++i) {
        pending_[pending_len_++] = kRawByteUnit + static_cast<unsigned char>(s_[i]);
      }
    } else {
      fold(cp);
    }
    unit = pending_[pending_pos_++];
    return true;
  }

 private:
  void fold(char32_t cp) {
    if (cp < kFoldTableEnd) {
      const char32_t folded = fold_table()[cp];
      if (folded != 0) {
        pending_[pending_len_++] = folded;
        return;
      }
    }
    pending_len_ = fold_code_point(cp, pending_);
  }

  static constexpr int kPending = 4;
  std::string_view s_;
  std::size_t pos_;
  char32_t pending_[kPending] = {};
  int pending_len_ = 0;
  int pending_pos_ = 0;
};

// Three-way comparison of the folded unit sequences.
int ident_compare(std::string_view a, std::string_view b) {
  // The same bytes are the same name: the common case of a look-up that finds its key, and
  // of the section shared by every option of a module (Cyrillic, so folded the slow way).
  if (a == b) return 0;
  // Fast path: while both sides are ASCII, a unit is just the lower-cased byte, so the bytes
  // can be compared in place. A difference found here is final because both sides have
  // produced the same units so far.
  std::size_t i = 0;
  const std::size_t n = std::min(a.size(), b.size());
  for (; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) >= 0x80) break;
    const unsigned char la = ascii_lower(ca), lb = ascii_lower(cb);
    if (la != lb) return la < lb ? -1 : 1;
  }
  if (i == n) {
    // The shorter side ended with the prefixes equal; the longer one still has bytes, and
    // every byte yields at least one unit, so length decides.
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
  }

  FoldCursor ca(a, i), cb(b, i);
  for (;;) {
    char32_t ua = 0, ub = 0;
    const bool ha = ca.next(ua);
    const bool hb = cb.next(ub);
    if (!ha || !hb) return ha == hb ? 0 : (ha ? 1 : -1);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
}

}  // namespace

std::string to_lower(std::string_view utf8) {
  return change_case(utf8, u_strToLower, ascii_lower);
}

std::string to_upper(std::string_view utf8) {
  return change_case(utf8, u_strToUpper, ascii_upper);
}

bool ident_equal(std::string_view a, std::string_view b) {
  return ident_compare(a, b) == 0;
}

bool IdentLess::operator()(std::string_view a, std::string_view b) const {
  return ident_compare(a, b) < 0;
}

std::size_t IdentHash::operator()(std::string_view s) const {
  // 64-bit FNV-1a over the folded units, with the same ASCII shortcut as the comparison.
  std::uint64_t h = 14695981039346656037ull;
  constexpr std::uint64_t kPrime = 1099511628211ull;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) break;
    h = (h ^ ascii_lower(c)) * kPrime;
  }
  if (i < s.size()) {
    FoldCursor cur(s, i);
    char32_t unit = 0;
    while (cur.next(unit)) h = (h ^ unit) * kPrime;
  }
  return static_cast<std::size_t>(h);
}

}  // namespace lib
