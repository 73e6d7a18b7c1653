// The run totals as the tick drives them: once a tick of an active registration run the
// totals of the bit run (calc::RaceTotal: footage, drilling time, pumped volume, the
// parameters' run averages) take the tick, and the drilling time is shown in its table row
// ("время_бурения") when the table has one. The totals are started and stopped with the run
// by the hub's run bracket; this only steps them. Not thread-safe: the station's tick owns it.
#pragma once

#include "rig/row_by_name.h"

namespace calc {
class RaceTotal;
}
namespace ds_tmp {
class DataStorage;
}

namespace rig {

// The row the run's drilling time goes into when the table has it.
inline constexpr const char* kDrillTimeRow = "время_бурения";

class RunTotals {
 public:
  // Both must outlive this.
  RunTotals(calc::RaceTotal& totals, ds_tmp::DataStorage& storage)
      : totals_(totals), storage_(storage), drill_time_row_(kDrillTimeRow) {}

  // One tick; returns the row it wrote the drilling time into, -1 when none (no active run,
  // or no such row).
  int tick(bool run_active);

 private:
  calc::RaceTotal& totals_;
  ds_tmp::DataStorage& storage_;
  RowByName drill_time_row_;
};

}  // namespace rig
