#include "rig/row_by_name.h"

#include "params/par_tabl.h"

namespace rig {

int RowByName::find(const params::ParTabl& table) {
  const auto& rows = table.rows();
  if (rows.data() != cached_rows_ || rows.size() != cached_size_ ||
      (row_ >= 0 && rows[static_cast<std::size_t>(row_)].identifier != found_)) {
    cached_rows_ = rows.data();
    cached_size_ = rows.size();
    row_ = table.find_global(identifier_);
    found_ = row_ < 0 ? std::string() : rows[static_cast<std::size_t>(row_)].identifier;
  }
  return row_;
}

}  // namespace rig
