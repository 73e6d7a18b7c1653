// publish: the frame's lag depth, the shared-values file's values (a stale measurement as a
// quiet NaN) and this tick's values to the WITS sender's clients.
#include <limits>

#include "core/shared_values.h"
#include "core/shared_values_format.h"
#include "params/par_tabl.h"
#include "station/stages.h"
#include "storage/data_storage.h"

namespace station {

reg::SharedValues PublishStage::shared_values(const TickFrame& frame, ds_tmp::DataStorage& ds) {
  const params::ParTabl& table = ds.par_tabl();
  const auto value = [&](const char* identifier) {
    const int row = table.find_global(identifier);
    if (frame.stale(row)) return std::numeric_limits<double>::quiet_NaN();
    return ds.current_values()[identifier];
  };
  return {ds.depth_z(), ds.depth_cur(), value(reg::kvb::kHookLoadParam),
          value(reg::kvb::kBlockPositionParam), value(reg::kvb::kInletPressureParam)};
}

void PublishStage::run(TickFrame& frame) {
  frame.lag = ds_.delayed_depth().get_value();
  frame.depths.bottom = ds_.depth_z();
  frame.depths.bit = ds_.depth_cur();
  links_.export_values(shared_values(frame, ds_));
  if (links_.wits_out) links_.wits_out(frame);
}

}  // namespace station
