#include "pore/construction.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace pore {

void Construction::check_all(const std::vector<ConstrElement>& elements) {
  if (elements.size() > kMaxElements) {
    throw std::invalid_argument("construction of " + std::to_string(elements.size()) +
                                " elements, more than " + std::to_string(kMaxElements));
  }
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (auto why = elements[i].check())
      throw std::invalid_argument("element " + std::to_string(i + 1) + ": " + *why);
  }
}

void Construction::set_elements(std::vector<ConstrElement> elements) {
  check_all(elements);
  elements_ = std::move(elements);
}

void Construction::add(ConstrElement element) {
  if (elements_.size() >= kMaxElements)
    throw std::invalid_argument("construction is full (" + std::to_string(kMaxElements) + ")");
  if (auto why = element.check()) throw std::invalid_argument("element: " + *why);
  elements_.push_back(std::move(element));
}

void Construction::get_real_items(std::vector<SimplePCE>& sections) const {
  sections.clear();
  // Walk from the innermost element out; build the list bottom-up, then turn it round.
  std::vector<SimplePCE> reversed;
  for (auto it = elements_.rbegin(); it != elements_.rend(); ++it) {
    const ConstrElement& e = *it;
    if (!e.used) continue;
    if (reversed.empty()) {
      reversed.push_back({e.kind, e.top, e.bottom, 0, e.diameter});
      continue;
    }
    const float upper_top = reversed.back().top;
    if (static_cast<double>(upper_top) - e.top >= kMinSectionLength) {
      reversed.push_back({e.kind, e.top, upper_top, 0, e.diameter});
    }
  }
  sections.assign(reversed.rbegin(), reversed.rend());
}

double Construction::get_volume(double c) const {
  if (!(c >= 0) || !std::isfinite(c)) return 0;
  std::vector<SimplePCE> sections;
  get_real_items(sections);
  double sum = 0;
  for (const SimplePCE& s : sections) {
    const double r = 0.0005 * s.diameter;  // mm diameter -> m radius
    sum += std::numbers::pi * r * r * std::max(0.0, static_cast<double>(s.bottom) - s.top);
  }
  return c * sum;
}

double Construction::get_total_len() const {
  return elements_.empty() ? 0.0 : elements_.back().bottom;
}

double Construction::get_column_bottom() const {
  for (std::size_t i = elements_.size(); i-- > 1;) {
    const ConstrElement& e = elements_[i - 1];
    if (e.used) return e.bottom;
  }
  return 0;
}

bool Construction::recalc_to_depth(double depth) {
  if (elements_.empty() || !std::isfinite(depth) || depth < 0 || depth > ConstrElement::kMaxDepth) {
    return false;
  }
  elements_.back().bottom = static_cast<float>(depth);
  elements_.back().used = true;
  return true;
}

void Construction::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  if (!list.reading()) {
    std::uint32_t n = static_cast<std::uint32_t>(elements_.size());
    list.add(n);
    for (ConstrElement& e : elements_) {
      std::string line = e.to_line();
      list.add(e.kind).add(line);
    }
    return;
  }
  std::uint32_t n = 0;
  list.add(n);
  if (n > kMaxElements)
    throw lib::io::StreamError("construction of " + std::to_string(n) + " elements");
  std::vector<ConstrElement> elements(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::string line;
    list.add(elements[i].kind).add(line);
    std::string why;
    if (!elements[i].from_line(line, why))
      throw lib::io::StreamError("construction element " + std::to_string(i + 1) + ": " + why);
  }
  elements_ = std::move(elements);
}

}  // namespace pore
