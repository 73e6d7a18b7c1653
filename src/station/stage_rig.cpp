// rig: the pumps' strokes and the flow they give, the operator's commands, then the rig's
// depths, operation and lag marks followed from this tick's winch count and loads.
#include <fmt/format.h>

#include <cmath>

#include "calc/tanks.h"
#include "core/config.h"
#include "core/error_log.h"
#include "params/global_nums.h"
#include "station/stages.h"
#include "storage/data_storage.h"

namespace station {

RigStage::RigStage(calc::NasosWork& pumps, ds_tmp::DataStorage& ds, const reg::Config& config,
                   const reg::GlobalNums& nums, reg::ErrorLog& log,
                   const std::map<int, int>& pump_rows, Links links)
    : pumps_(pumps),
      ds_(ds),
      config_(config),
      nums_(nums),
      log_(log),
      pump_rows_(pump_rows),
      links_(std::move(links)) {}

void RigStage::run(TickFrame& frame) {
  pumps(frame);
  links_.poll_commands();
  links_.follow(frame);
}

void RigStage::pumps(TickFrame& frame) {
  // A pump without a row, or whose row this tick did not refresh, gave no strokes.
  std::array<float, calc::NasosWork::kPumpCount> strokes{};
  for (const auto& [pump, row] : pump_rows_) {
    if (pump < 0 || pump >= calc::NasosWork::kPumpCount || !frame.in_range(row) ||
        !frame.rows[static_cast<std::size_t>(row)].fresh)
      continue;
    strokes[static_cast<std::size_t>(pump)] = static_cast<float>(ds_.current_values()[row]);
  }
  pumps_.work(strokes);
  // The mud circulates while a pump works, or, when the settings say so, while the inlet
  // pressure shows the pumps on: the run's circulation time and its circulation averages,
  // and the lag lines on their way up, follow it.
  bool circulating = false;
  for (int pump = 0; pump < calc::NasosWork::kPumpCount; ++pump)
    circulating = circulating || pumps_.is_working(pump);
  const int pressure_row = nums_[reg::GlobalNums::kDavlenieNaVhode];
  if (config_.lag.circulation_by_pressure != 0 && frame.current(pressure_row) &&
      ds_.current_values()[pressure_row] > config_.recognition.zero_pressure)
    circulating = true;
  ds_.set_circulation_on(circulating);
  double flow = 0;
  for (int pump = 0; pump < calc::NasosWork::kPumpCount; ++pump) {
    const double spm = pumps_.strokes(pump);
    if (!(spm > 0)) continue;
    const reg::NasosOpt& opt = config_.other.pumps[static_cast<std::size_t>(pump)];
    const double lpm = opt.calc_volume(spm);
    bool& reported = volume_reported_[static_cast<std::size_t>(pump)];
    if (!(lpm > 0) || !std::isfinite(lpm)) {
      if (!reported) {
        log_.write(fmt::format(
            "pumps: pump {} strokes at {:g} per minute but its settings give no volume per "
            "stroke (объем_насоса{} = {:g} l, коефф_заполн_насоса{} = {:g}, rnas{} = {:g}); "
            "its strokes add no flow until the settings are corrected",
            pump + 1, spm, pump + 1, opt.volume, pump + 1, opt.fill_coefficient, pump + 1,
            opt.range));
      }
      reported = true;
      continue;
    }
    reported = false;
    flow += lpm;
  }
  frame.flow_lpm = flow;
}

}  // namespace station
