// Identifiers of parameters and settings are compared without regard to case, for
// Cyrillic as well as Latin letters ("ВЕС" equals "вес", "Ё" equals "ё"). Lower-casing
// goes through ICU's root locale, so no OS locale needs to be installed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lib {

// Unicode lower case of a UTF-8 string. Invalid UTF-8 is returned unchanged.
std::string to_lower(std::string_view utf8);
// Unicode upper case of a UTF-8 string. Invalid UTF-8 is returned unchanged.
std::string to_upper(std::string_view utf8);

// Case-insensitive equality of two identifiers: equal full Unicode case foldings. For Latin
// and Cyrillic this is the same as comparing to_lower forms; folding also matches the few
// letters lower-casing leaves apart ("ß"/"SS", final "ς"/"Σ"). Ill-formed UTF-8 bytes are
// compared exactly, the well-formed parts around them still fold. "е" and "ё" differ.
bool ident_equal(std::string_view a, std::string_view b);

// Ordering and hashing that agree with ident_equal, for maps keyed by identifier.
struct IdentLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
struct IdentHash {
  std::size_t operator()(std::string_view s) const;
};
struct IdentEqual {
  bool operator()(std::string_view a, std::string_view b) const { return ident_equal(a, b); }
};

}  // namespace lib
