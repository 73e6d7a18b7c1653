// publish: the frame's depths and lag depth, the shared-values file's values (a stale
// measurement as a quiet NaN) and this tick's values to the WITS sender's clients.
#include <limits>

#include "core/shared_values.h"
#include "params/global_nums.h"
#include "station/stages.h"
#include "storage/data_storage.h"

namespace station {

reg::SharedValues PublishStage::shared_values(const TickFrame& frame, ds_tmp::DataStorage& ds,
                                              const reg::GlobalNums& nums) {
  // The well-known rows, found once per table rather than by name each tick.
  const auto value = [&](int slot) {
    const int row = nums[slot];
    if (frame.stale(row)) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(ds.current_values()[row]);
  };
  return {frame.depths.bottom, frame.depths.bit, value(reg::GlobalNums::kVesNaKryuke),
          value(reg::GlobalNums::kTalblok), value(reg::GlobalNums::kDavlenieNaVhode)};
}

void PublishStage::run(TickFrame& frame) {
  frame.lag = ds_.delayed_depth().get_value();
  frame.depths = links_.depths();
  links_.export_values(shared_values(frame, ds_, nums_));
  if (links_.wits_out) links_.wits_out(frame);
}

}  // namespace station
