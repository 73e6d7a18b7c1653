// String encodings at file and wire boundaries. Inside the program every string is UTF-8;
// old files keep their text in the 8-bit Cyrillic code page (CP1251).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lib {

// Encoding codes as stored in files and settings.
enum class StringEnc : int {
  kCp1251 = 2,  // 8-bit Cyrillic code page
  kUtf8 = 3,
};

// True for the codes this build understands (2 and 3).
bool is_known_encoding(int code);

// Converts between UTF-8 (the program's own form) and a file encoding.
// Conversion never fails: a character the target cannot hold becomes '?', and a byte
// sequence that is not valid in the source becomes U+FFFD when decoding into UTF-8
// (to_utf8). Ill-formed UTF-8 handed to from_utf8 becomes '?' in any target, one per
// maximal ill-formed subsequence. A code outside the known ones is handled as UTF-8.
class StrEncConverter {
 public:
  explicit StrEncConverter(StringEnc enc = StringEnc::kUtf8) : enc_(enc) {}

  StringEnc encoding() const { return enc_; }
  void set_encoding(StringEnc enc) { enc_ = enc; }

  // File bytes in this encoding -> UTF-8.
  std::string to_utf8(std::string_view bytes) const;
  // UTF-8 -> file bytes in this encoding.
  std::string from_utf8(std::string_view utf8) const;

 private:
  StringEnc enc_;
};

// Free forms of the two CP1251 conversions.
std::string cp1251_to_utf8(std::string_view bytes);
std::string utf8_to_cp1251(std::string_view utf8);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool is_valid_utf8(std::string_view bytes);
// The bytes with every maximal ill-formed subsequence replaced by U+FFFD; well-formed text
// comes back unchanged. For text from outside that must be UTF-8 before it is shown or
// written as JSON, where the exact bytes are not the operator's own words.
std::string to_valid_utf8(std::string_view bytes);

// What a text file's bytes look like, for files that carry no encoding code of their own.
struct TextEncodingGuess {
  enum Kind {
    kUtf8,         // valid UTF-8 as a whole (pure ASCII included)
    kCp1251,       // not UTF-8, and nothing in it says it was meant to be: read as CP1251
    kDamagedUtf8,  // mostly UTF-8 with a few ill-formed bytes: neither reading is safe
  };
  Kind kind = kUtf8;
  // The first ill-formed byte (when the text is not valid UTF-8): its offset from the start
  // of the bytes, and its line (from 1, counting "\n").
  std::size_t bad_offset = 0;
  std::size_t bad_line = 0;
  std::size_t bad_sequences = 0;   // ill-formed sequences in the whole text
  std::size_t good_multibyte = 0;  // well-formed UTF-8 characters of two bytes or more
};

// Decides how to read a text: UTF-8 when the whole text is valid UTF-8; otherwise CP1251
// when ill-formed sequences outnumber well-formed multi-byte UTF-8 characters (Cyrillic
// CP1251 text is almost all ill-formed as UTF-8 and forms a valid pair only by chance);
// otherwise the text is UTF-8 damaged in a few places, and reading it either way would
// garble part of it.
TextEncodingGuess guess_text_encoding(std::string_view bytes);

// Result of next_utf8_code_point for an ill-formed sequence.
inline constexpr char32_t kInvalidCodePoint = 0xFFFFFFFF;
// Decodes the code point that starts at bytes[pos] and moves pos past it. An ill-formed
// sequence gives kInvalidCodePoint and pos moves past its maximal ill-formed prefix (at
// least one byte), so a caller that substitutes one character per call follows the usual
// Unicode replacement practice. At or past the end it gives kInvalidCodePoint and leaves pos.
char32_t next_utf8_code_point(std::string_view bytes, std::size_t& pos);
// Appends the UTF-8 form of cp; a value that is not a Unicode scalar value becomes U+FFFD.
void append_utf8(std::string& out, char32_t cp);

}  // namespace lib
