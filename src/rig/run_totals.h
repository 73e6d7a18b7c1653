// The run totals as the tick drives them: once a tick of an active registration run the
// totals of the bit run (calc::RaceTotal: footage, drilling time, pumped volume, the
// parameters' run averages) take the tick, and the drilling time is shown in its table row
// ("время_бурения") when the table has one. The totals are started and stopped with the run
// by the hub's run bracket; this only steps them. Not thread-safe: the station's tick owns it.
#pragma once

#include <cstddef>
#include <string>

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
      : totals_(totals), storage_(storage) {}

  // One tick; returns the row it wrote the drilling time into, -1 when none (no active run,
  // or no such row).
  int tick(bool run_active);

 private:
  int drill_time_row();

  calc::RaceTotal& totals_;
  ds_tmp::DataStorage& storage_;
  // The drilling time's row as of the rows at cached_rows_, with the identifier it had.
  const void* cached_rows_ = nullptr;
  std::size_t cached_size_ = 0;
  int row_ = -1;
  std::string identifier_;
};

}  // namespace rig
