// The well construction: casing strings and the open hole, outer and shallow elements first,
// the open hole last. It reduces to the sections that actually bound the hole at each depth
// and gives the hole volume.
//
// Saved in the state file as the module "PoreConstr" (layout in docs/well-state.md).
#pragma once

#include <cstdint>
#include <vector>

#include "lib/module_base.h"
#include "pore/constr_element.h"

namespace pore {

// One real section of the hole.
struct SimplePCE {
  std::int32_t kind = 0;
  float top = 0;     // m
  float bottom = 0;  // m
  std::int32_t reserved = 0;
  float diameter = 0;  // mm
  bool operator==(const SimplePCE&) const = default;
};

class Construction : public lib::SerialModuleBase {
 public:
  static constexpr const char* kSerialName = "PoreConstr";
  static constexpr unsigned kSerialVersion = 1;
  static constexpr std::size_t kMaxElements = 1000;
  // A shallower element fills the hole above the next one only when it starts at least
  // this much higher; thinner overlaps are rounding, not hole.
  static constexpr double kMinSectionLength = 0.001;  // m

  Construction() : SerialModuleBase(kSerialName, kSerialVersion) {}

  const std::vector<ConstrElement>& elements() const { return elements_; }
  // Replace or extend the list. Throws std::invalid_argument, the list unchanged, when an
  // element fails ConstrElement::check or the list would exceed kMaxElements.
  void set_elements(std::vector<ConstrElement> elements);
  void add(ConstrElement element);
  void clear() { elements_.clear(); }

  // The sections bounding the hole, top down. Each depth is bounded by the innermost (latest
  // listed) used element that reaches it; shallower elements fill only what lies above.
  void get_real_items(std::vector<SimplePCE>& sections) const;

  // Hole volume in m³ times the cavern coefficient `c`. A coefficient that is negative or
  // not a number gives 0; a section whose bottom lies above its top adds nothing.
  double get_volume(double c) const;

  // The bottom of the last element (the open hole), 0 for an empty construction.
  double get_total_len() const;
  // The depth the innermost casing string was run to: the bottom of the last used element
  // before the open hole; 0 when there is none.
  double get_column_bottom() const;

  // The open hole follows the bottom-hole depth: the last element's bottom becomes `depth`
  // and it is marked used. False, nothing changed, for an empty construction or a depth that
  // is negative, not a number or deeper than ConstrElement::kMaxDepth.
  bool recalc_to_depth(double depth);

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  static void check_all(const std::vector<ConstrElement>& elements);

  std::vector<ConstrElement> elements_;
};

}  // namespace pore
