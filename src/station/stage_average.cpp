// average: both averaging passes (in one walk), the run totals of an active registration run (the
// rig module's RunTotals), then the storage's tick (the depths' and the stores' step).
#include "rig/run_totals.h"
#include "station/stages.h"
#include "storage/data_storage.h"

namespace station {

void AverageStage::run(TickFrame& frame) {
  ds_.average_values().calculate_all_values();
  frame.set_fresh(totals_.tick(run_active_()));
  ds_.tick();
}

}  // namespace station
