#include "calc/calc_values.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "calc/depth_calibration_format.h"
#include "instr/calc_result.h"
#include "params/global_nums.h"
#include "pore/pore_opt.h"

namespace calc {

CalcValues::CalcValues()
    : tanks_(std::make_shared<VEmkOpts>()),
      depth_calc_(std::make_shared<DepthCalc>(depth_format::kDefaultModuleName)),
      bad_level_(VEmkOpts::kTankCount, false) {
  modules_.push_back({"CalcValues::calc_units", [this](CalcValuesData& d) { calc_units(d); }});
}

void CalcValues::set_error_sink(ErrorSink sink) {
  sink_ = sink;
  tanks_->set_error_sink(sink);
  depth_calc_->set_error_sink(std::move(sink));
}

void CalcValues::report(const std::string& message) const {
  if (sink_) sink_(message);
}

void CalcValues::calc_and_store(CalcValuesData& data) {
  for (const CalcModule& m : modules_) execute_module(m, data);
}

void run_module(const std::string& name, const std::function<void()>& body,
                const std::function<void(const std::string&)>& report) {
  try {
    body();
  } catch (const std::exception& e) {
    report("Исключение в  " + name + " (" + e.what() + ").");
  } catch (...) {
    report("Неизвестное исключение в " + name + ".");
  }
}

void CalcValues::execute_module(const CalcModule& module, CalcValuesData& data) {
  run_module(
      module.name, [&] { module.operation(data); }, [this](const std::string& m) { report(m); });
}

namespace {

void need_inputs(const CalcValuesData& data) {
  if (data.values == nullptr || data.global_nums == nullptr)
    throw std::invalid_argument("no current values or well-known rows were given");
}

}  // namespace

void CalcValues::calc_units(CalcValuesData& data) {
  need_inputs(data);
  CalcValueTable& t = *data.values;
  const reg::GlobalNums& nums = *data.global_nums;
  const auto set = [&](const char* name, double v) { t.set_value(t.row_of(name), v); };

  const int flow_row = nums[reg::GlobalNums::kRashodNaVhode];
  const double flow = flow_row < 0 ? 0.0 : t.value(flow_row);
  set(calc_names::kTurbineSpeed, turbine().calc_value(static_cast<float>(flow)));

  VEmkOpts& tanks = *tanks_;
  for (int i = 0; i < VEmkOpts::kTankCount; ++i) {
    VEmkOpt& tank = tanks[i];
    const int level_row = t.row_of(tank.get_name());
    const double level = level_row < 0 ? 0.0 : t.value(level_row);
    const auto bad = bad_level_.begin() + i;
    if (!std::isfinite(level)) {
      // A level sensor that gives no number must not empty the tank on screen: the volume
      // of its last sound level stays until it reads again.
      if (!*bad) {
        report("CalcValues::calc_units : level '" + tank.get_name() + "' is not a number; tank " +
               std::to_string(i + 1) + " keeps its last volume " +
               std::to_string(tank.get_volume()) + " m³ until the level reads again");
      }
      *bad = true;
    } else {
      *bad = false;
      tank.calc_volume(static_cast<float>(level));
    }
    t.set_value(t.row_of(tank.get_vname()), tank.get_volume());
  }
  tanks.calc_total();
  t.set_value(nums[reg::GlobalNums::kObemEmkosti], tanks.get_whole_tank_v());
  set(calc_names::kActiveVolume, tanks.get_active_tank_v());
  set(calc_names::kDolivVolume, tanks.get_whole_doliv_v());
  set(calc_names::kInTankVolume, tanks.get_total_in_tank());

  if (data.pore == nullptr) return;
  const pore::PoreOpt& well = *data.pore;
  instr::CalcResult whole;
  well.instr().calc_misc(well.instr().get_total_count(), 0, 0, whole);
  const double steel = whole.metal_volume;
  const double hole = well.construction().get_volume(data.cavern_coeff);
  const double extra = std::isfinite(data.extra_mud_volume) ? data.extra_mud_volume : 0.0;
  tanks.set_circulating_v(static_cast<float>(hole + tanks.get_active_tank_v() + extra - steel));
  mud_volume_ = hole + tanks.get_whole_tank_v() + extra - steel;
  set(calc_names::kMudVolume, mud_volume_);

  const double bit = t.bit_depth();
  instr::CalcResult down;
  well.instr().calc_misc(0, 0, bit, down);
  // The string reaches no deeper than its own length, however deep the bit depth says.
  const double tool = std::clamp(std::isfinite(bit) ? bit : 0.0, 0.0, well.instr().get_total_len());
  set(calc_names::kToolDepth, tool);
  set(calc_names::kSteelRunIn, down.metal_volume_depth);
}

}  // namespace calc
