// One element of the well construction: a casing string or the open hole, with its depth
// interval and inner diameter.
//
// Stored line (the construction's state block and text copies): the comma text of name,
// top, bottom, diameter, used (1 or 0) and the further value, in this order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pore {

struct ConstrElement {
  bool used = true;       // takes part in the calculation
  std::int32_t kind = 0;  // kept unchanged, not part of the stored line
  float top = 0;          // m
  float bottom = 0;       // m
  float diameter = 0;     // inner diameter, mm
  float further = 0;      // kept unchanged
  std::string name;

  // Elements order by inner diameter.
  bool operator<(const ConstrElement& other) const { return diameter < other.diameter; }
  bool operator==(const ConstrElement&) const = default;

  static constexpr float kMaxDepth = 20000;    // m
  static constexpr float kMaxDiameter = 2000;  // mm

  // Why the element cannot be taken (a depth or diameter that is not a number, negative or
  // beyond the limits); nullopt when it is fine. A bottom above the top is allowed: the open
  // hole follows the bit depth, which may briefly be shallower than its top; such an element
  // holds no volume.
  std::optional<std::string> check() const;

  std::string to_line() const;
  // Reads a stored line into this element (kind untouched). Missing trailing fields keep
  // their defaults (used 1, further 0). Returns false, the element unchanged and the reason
  // in `why`, for a line without a name field, a number that does not parse or an element
  // that fails check().
  bool from_line(std::string_view line, std::string& why);
};

}  // namespace pore
