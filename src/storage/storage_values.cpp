#include "params/par_tabl.h"
#include "storage/crush_flags.h"
#include "storage/current_values.h"

namespace ds_tmp {

double& CurrentValues::operator[](std::string_view identifier) {
  return (*this)[table_.find_global(identifier)];
}

std::uint8_t& CrushFlags::operator[](std::string_view identifier) {
  return (*this)[table_.find_global(identifier)];
}

}  // namespace ds_tmp
