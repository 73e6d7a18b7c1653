#include "params/par_tabl.h"
#include "storage/crush_flags.h"
#include "storage/current_values.h"

namespace ds_tmp {

double& CurrentValues::operator[](int index) {
  if (index < 0 || index >= kSlots) {
    spare_ = 0;
    return spare_;
  }
  return values_[static_cast<std::size_t>(index)];
}

double& CurrentValues::operator[](std::string_view identifier) {
  return (*this)[table_.find_global(identifier)];
}

std::uint8_t& CrushFlags::operator[](int index) {
  if (index < 0 || index >= kSlots) {
    spare_ = 0;
    return spare_;
  }
  return flags_[static_cast<std::size_t>(index)];
}

std::uint8_t& CrushFlags::operator[](std::string_view identifier) {
  return (*this)[table_.find_global(identifier)];
}

}  // namespace ds_tmp
