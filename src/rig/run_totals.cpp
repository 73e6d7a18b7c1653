#include "rig/run_totals.h"

#include "calc/race_total.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"

namespace rig {

int RunTotals::tick(bool run_active) {
  if (!run_active) return -1;
  totals_.calculate();
  const int row = drill_time_row_.find(storage_.par_tabl());
  if (row < 0 || row >= ds_tmp::kSlots) return -1;
  storage_.current_values()[row] = totals_.drill_time_hours();
  return row;
}

}  // namespace rig
