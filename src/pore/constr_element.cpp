#include "pore/constr_element.h"

#include <cmath>

#include "instr/csv_text.h"
#include "lib/string_container.h"

namespace pore {
namespace {

bool depth_ok(float v) {
  return std::isfinite(v) && v >= 0 && v <= ConstrElement::kMaxDepth;
}

}  // namespace

std::optional<std::string> ConstrElement::check() const {
  if (!depth_ok(top) || !depth_ok(bottom)) return "depth outside 0..20000 m or not a number";
  if (!std::isfinite(diameter) || diameter < 0 || diameter > kMaxDiameter)
    return "diameter outside 0..2000 mm or not a number";
  if (!std::isfinite(further)) return "further value is not a number";
  return std::nullopt;
}

std::string ConstrElement::to_line() const {
  lib::StringContainer fields;
  fields.add(name);
  fields.add(instr::csv::float_text(top));
  fields.add(instr::csv::float_text(bottom));
  fields.add(instr::csv::float_text(diameter));
  fields.add(used ? "1" : "0");
  fields.add(instr::csv::float_text(further));
  return fields.comma_text();
}

bool ConstrElement::from_line(std::string_view line, std::string& why) {
  lib::StringContainer fields;
  fields.set_comma_text(line);
  if (fields.empty()) {
    why = "empty line";
    return false;
  }
  ConstrElement e = *this;
  e.name = fields[0];
  e.used = true;
  e.further = 0;
  float* numbers[] = {&e.top, &e.bottom, &e.diameter};
  const char* names[] = {"top", "bottom", "diameter"};
  for (std::size_t i = 0; i < 3; ++i) {
    if (fields.size() <= i + 1) {
      why = std::string(names[i]) + " missing";
      return false;
    }
    auto v = instr::csv::parse_number(fields[i + 1]);
    if (!v) {
      why = std::string(names[i]) + " \"" + fields[i + 1] + "\" is not a number";
      return false;
    }
    *numbers[i] = static_cast<float>(*v);
  }
  if (fields.size() > 4) {
    auto u = instr::csv::parse_integer(fields[4]);
    if (!u) {
      why = "used flag \"" + fields[4] + "\" is not 1 or 0";
      return false;
    }
    e.used = *u != 0;
  }
  if (fields.size() > 5) {
    auto v = instr::csv::parse_number(fields[5]);
    if (!v) {
      why = "further value \"" + fields[5] + "\" is not a number";
      return false;
    }
    e.further = static_cast<float>(*v);
  }
  if (auto bad = e.check()) {
    why = *bad;
    return false;
  }
  *this = std::move(e);
  return true;
}

}  // namespace pore
