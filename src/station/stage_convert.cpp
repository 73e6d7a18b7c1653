// convert: every row's raw input of this tick into its current value (the bus, then WITS),
// then a scenario's moment played in as if the sensors had read it.
#include <cmath>

#include "calc/tanks.h"
#include "core/config.h"
#include "core/error_log.h"
#include "lib/date_time.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "registry/values.h"
#include "station/stages.h"
#include "station/station.h"
#include "station/wits_intake.h"
#include "storage/data_storage.h"
#include "wits/wits0_format.h"

namespace station {
namespace {

// The drawworks line count the hook-load row's calibration is multiplied by.
constexpr const char* kLineCountVariable = "KoefPolispast";
// The scenario's methane goes into this row when the table has it.
constexpr const char* kMethane = "метан_абс";

}  // namespace

double hook_load_factor(reg::Values& values) {
  const double factor = values.get_float_variable(kLineCountVariable);
  return factor > 0 ? factor : 1.0;
}

ConvertStage::ConvertStage(ds_tmp::DataStorage& ds, reg::Values& values, const reg::Config& config,
                           const reg::GlobalNums& nums, lib::Clock& clock,
                           const SourceStatus& source, reg::ErrorLog& log, WitsIntake& wits,
                           ScenarioPlay& play, const std::map<int, int>& pump_rows)
    : ds_(ds),
      values_(values),
      config_(config),
      nums_(nums),
      clock_(clock),
      source_(source),
      log_(log),
      wits_(wits),
      play_(play),
      pump_rows_(pump_rows) {}

void ConvertStage::run(TickFrame& frame) {
  const params::ParTabl& table = ds_.par_tabl();
  const int rows = std::min(table.get_items_count(), ds_tmp::kSlots);
  // A row that may have changed in place (its revision moved) counts like a new row count:
  // whatever was made from the rows' names is made again.
  const bool revised = !planned_ || revision_ != table.revision();
  if (frame.rows.size() != static_cast<std::size_t>(rows) || revised) ++frame.table_version;
  frame.rows.resize(static_cast<std::size_t>(rows));
  if (revised || facts_.size() != frame.rows.size()) refresh_plans(table, rows);
  // One reading, one moment: every row of it converts at the same time.
  frame.time = lib::now(clock_);
  const double factor = hook_load_factor(values_);
  const hardware::CommIncomData& reading = frame.reading;
  // Rows of one module follow each other: its record is looked up once for them.
  std::int32_t module_address = 0;
  const hardware::USOData* module = nullptr;
  bool module_found = false;
  ds_tmp::CurrentValues& current = ds_.current_values();
  for (int i = 0; i < rows; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const params::Param& row = table.rows()[index];
    FrameRow& r = frame.rows[index];
    r.fresh = false;
    r.fed = row.channel.has_channel();
    if (!frame.reading_ok) continue;
    if (!module_found || row.channel.module != module_address) {
      module_address = row.channel.module;
      module = reading.find_module(module_address);
      module_found = true;
    }
    const std::optional<double> got = hardware::CommIncomData::value_in(module, row.channel);
    if (!got) continue;  // a failed read keeps the last value
    const double raw = *got;
    r.raw = raw;
    r.has_raw = true;
    const double value = row.calc_value_from_reading(raw, source_.adc_full_scale, factor,
                                                     frame.time, facts_[index].facts);
    note_conversion(r, i, row, raw, value);
    if (std::isfinite(value)) {
      current[i] = value;
      r.fresh = true;
    }
  }
  convert_wits_rows(frame, factor);
  apply_scenario(frame);
}

void ConvertStage::refresh_plans(const params::ParTabl& table, int rows) {
  facts_.resize(static_cast<std::size_t>(rows));
  wits_rows_.clear();
  for (std::size_t i = 0; i < facts_.size(); ++i) {
    const params::Param& row = table.rows()[i];
    RowFacts& f = facts_[i];
    // Compared as they are: a revision also moves when a row was only looked at.
    if (!f.made || f.channel != row.channel.channel || f.identifier != row.identifier ||
        f.points != row.points) {
      f.identifier = row.identifier;
      f.channel = row.channel.channel;
      f.points = row.points;
      f.facts = row.conversion_facts();
      f.made = true;
    }
    if (row.channel.type == params::kChannelWits && row.channel.has_channel()) {
      wits_rows_.push_back({i, row.ext_info.get(params::ext_keys::kWitsServer),
                            row.ext_info.get(params::ext_keys::kWitsCode)});
    }
  }
  revision_ = table.revision();
  planned_ = true;
}

void ConvertStage::report_bad_conversion(int index, const params::Param& row, double raw,
                                         double value) {
  // Reported when the row turns bad, not on every tick it stays bad.
  log_.write("Station::tick : row " + std::to_string(index + 1) + " '" + row.identifier +
             "': the conversion of the raw input " + std::to_string(raw) + " gives no number (" +
             (std::isnan(value) ? "NaN" : "infinity") +
             "); the value is marked not valid until it converts again");
}

void ConvertStage::convert_wits_rows(TickFrame& frame, double factor) {
  if (wits_rows_.empty()) return;
  const params::ParTabl& table = ds_.par_tabl();
  const std::int64_t fresh_ms = std::int64_t{config_.wits_receive.stale_after_s} * 1000;
  for (const WitsRow& w : wits_rows_) {
    const params::Param& row = table.rows()[w.row];
    FrameRow& r = frame.rows[w.row];
    const double raw = wits_.item(w.server, w.code, fresh_ms);
    r.raw = raw;
    r.has_raw = true;
    // Nothing current from its server (or no code to look for): the row keeps its last value
    // and shows as stale, as a bus row does when its module does not answer.
    if (raw == wits::kNotAvailable) continue;
    const double value = row.calc_value_from_reading(raw, source_.adc_full_scale, factor,
                                                     frame.time, facts_[w.row].facts);
    note_conversion(r, static_cast<int>(w.row), row, raw, value);
    if (std::isfinite(value)) {
      ds_.current_values()[static_cast<int>(w.row)] = value;
      r.fresh = true;
    }
  }
}

void ConvertStage::apply_scenario(TickFrame& frame) {
  frame.scene.reset();
  if (!play_.scenario) return;
  const std::int64_t now = clock_.steady_ms();
  if (play_.start_ms < 0) play_.start_ms = now;
  play_.seconds = static_cast<double>(now - play_.start_ms) / 1000.0;
  const ScenarioSample& s = frame.scene.emplace(play_.scenario->at(play_.seconds));
  const auto& dol = config_.dol;
  std::optional<std::int64_t> pulses = s.pulses;
  if (!pulses && s.block) {
    pulses =
        std::llround(*s.block * *play_.scenario->pulses_per_metre() * (dol.reverse < 0 ? -1 : 1));
  }
  if (pulses) {
    hardware::USOData& module = frame.reading.module(dol.uso);
    if (static_cast<int>(module.dol.size()) <= dol.channel) {
      module.dol.resize(static_cast<std::size_t>(std::max(dol.channel, 0)) + 1);
    }
    if (dol.channel >= 0) {
      module.dol[static_cast<std::size_t>(dol.channel)] = {static_cast<std::int32_t>(*pulses),
                                                           true};
    }
  }
  // The rows show what the scenario plays, as if the sensors had read it.
  const auto put_row = [&](int row, double v) {
    if (!frame.in_range(row)) return;
    ds_.current_values()[row] = v;
    frame.set_fresh(row);
  };
  const auto put = [&](int slot, const std::optional<double>& v) {
    if (v) put_row(nums_[slot], *v);
  };
  put(reg::GlobalNums::kVesNaKryuke, s.hook);
  put(reg::GlobalNums::kDavlenieNaVhode, s.pressure);
  put(reg::GlobalNums::kOborotyRotora, s.rpm);
  put(reg::GlobalNums::kNagruzka, s.wob);
  put(reg::GlobalNums::kMomentRotora, s.torque);
  put(reg::GlobalNums::kSummGaz, s.gas);
  const params::ParTabl& table = ds_.par_tabl();
  if (s.methane) put_row(table.find_global(kMethane), *s.methane);
  for (const auto& [tank, level] : s.level)
    put_row(table.find_global(calc::VEmkOpts::level_name(tank)), level);
  for (const auto& [pump, spm] : s.spm) {
    const auto it = pump_rows_.find(pump - 1);
    const int row = it == pump_rows_.end() ? -1 : it->second;
    if (!frame.in_range(row)) continue;
    // Strokes only: the row's validity stays what its own conversion made it.
    ds_.current_values()[row] = spm;
    frame.rows[static_cast<std::size_t>(row)].fresh = true;
  }
}

}  // namespace station
