#include "rig/run_totals.h"

#include "calc/race_total.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"

namespace rig {

int RunTotals::drill_time_row() {
  // Looked up again only when the table's rows were replaced or the row no longer carries
  // the name: a search of the whole table each tick was a good part of the tick.
  const auto& rows = storage_.par_tabl().rows();
  if (rows.data() != cached_rows_ || rows.size() != cached_size_ ||
      (row_ >= 0 && rows[static_cast<std::size_t>(row_)].identifier != identifier_)) {
    cached_rows_ = rows.data();
    cached_size_ = rows.size();
    row_ = storage_.par_tabl().find_global(kDrillTimeRow);
    identifier_ = row_ < 0 ? std::string() : rows[static_cast<std::size_t>(row_)].identifier;
  }
  return row_;
}

int RunTotals::tick(bool run_active) {
  if (!run_active) return -1;
  totals_.calculate();
  const int row = drill_time_row();
  if (row < 0 || row >= ds_tmp::kSlots) return -1;
  storage_.current_values()[row] = totals_.drill_time_hours();
  return row;
}

}  // namespace rig
