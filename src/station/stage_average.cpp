// average: both averaging passes, the run totals of an active registration run, then the
// storage's tick (the depths' and the stores' step).
#include "calc/race_total.h"
#include "params/par_tabl.h"
#include "station/stages.h"
#include "storage/data_storage.h"

namespace station {
namespace {

// The run's drilling time goes into this row when the table has it.
constexpr const char* kDrillTimeRow = "время_бурения";

}  // namespace

void AverageStage::run(TickFrame& frame) {
  ds_.average_values().calculate_values(false);
  ds_.average_values().calculate_values(true);
  if (run_active_()) {
    totals_.calculate();
    const int row = ds_.par_tabl().find_global(kDrillTimeRow);
    if (row >= 0 && row < ds_tmp::kSlots) {
      ds_.current_values()[row] = totals_.drill_time_hours();
      frame.set_fresh(row);
    }
  }
  ds_.tick();
}

}  // namespace station
