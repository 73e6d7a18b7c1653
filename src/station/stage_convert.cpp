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
  if (frame.rows.size() != static_cast<std::size_t>(rows)) ++frame.table_version;
  frame.rows.resize(static_cast<std::size_t>(rows));
  for (int i = 0; i < rows; ++i) {
    FrameRow& r = frame.rows[static_cast<std::size_t>(i)];
    r.fresh = false;
    r.fed = table.rows()[static_cast<std::size_t>(i)].channel.has_channel();
  }
  // One reading, one moment: every row of it converts at the same time.
  frame.time = lib::now(clock_);
  const double factor = hook_load_factor(values_);
  if (frame.reading_ok) {
    for (int i = 0; i < rows; ++i) {
      const params::Param& row = table.rows()[static_cast<std::size_t>(i)];
      const std::optional<double> got = frame.reading.value_of(row.channel);
      if (!got) continue;  // a failed read keeps the last value
      FrameRow& r = frame.rows[static_cast<std::size_t>(i)];
      const double raw = *got;
      r.raw = raw;
      r.has_raw = true;
      const double value =
          row.calc_value_from_reading(raw, source_.adc_full_scale, factor, frame.time,
                                      facts_of(static_cast<std::size_t>(i), row));
      note_conversion(r, i, row, raw, value);
      if (std::isfinite(value)) {
        ds_.current_values()[i] = value;
        r.fresh = true;
      }
    }
  }
  convert_wits_rows(frame, factor);
  apply_scenario(frame);
}

const params::Param::ConversionFacts& ConvertStage::facts_of(std::size_t index,
                                                             const params::Param& row) {
  if (facts_.size() <= index) facts_.resize(index + 1);
  RowFacts& f = facts_[index];
  // Compared as they are: an edit of the row in place (a reload, a new calibration) shows.
  if (!f.made || f.channel != row.channel.channel || f.identifier != row.identifier ||
      f.points != row.points) {
    f.identifier = row.identifier;
    f.channel = row.channel.channel;
    f.points = row.points;
    f.facts = row.conversion_facts();
    f.made = true;
  }
  return f.facts;
}

void ConvertStage::note_conversion(FrameRow& r, int index, const params::Param& row, double raw,
                                   double value) {
  const bool finite = std::isfinite(value);
  // Reported when the row turns bad, not on every tick it stays bad.
  if (!finite && r.valid) {
    log_.write("Station::tick : row " + std::to_string(index + 1) + " '" + row.identifier +
               "': the conversion of the raw input " + std::to_string(raw) + " gives no number (" +
               (std::isnan(value) ? "NaN" : "infinity") +
               "); the value is marked not valid until it converts again");
  }
  r.valid = finite;
}

void ConvertStage::convert_wits_rows(TickFrame& frame, double factor) {
  const params::ParTabl& table = ds_.par_tabl();
  const std::int64_t fresh_ms = std::int64_t{config_.wits_receive.stale_after_s} * 1000;
  for (std::size_t i = 0; i < frame.rows.size(); ++i) {
    const params::Param& row = table.rows()[i];
    if (row.channel.type != params::kChannelWits || !row.channel.has_channel()) continue;
    FrameRow& r = frame.rows[i];
    const double raw = wits_.item(row.ext_info.get(params::ext_keys::kWitsServer),
                                  row.ext_info.get(params::ext_keys::kWitsCode), fresh_ms);
    r.raw = raw;
    r.has_raw = true;
    // Nothing current from its server (or no code to look for): the row keeps its last value
    // and shows as stale, as a bus row does when its module does not answer.
    if (raw == wits::kNotAvailable) continue;
    const double value = row.calc_value_from_reading(raw, source_.adc_full_scale, factor,
                                                     frame.time, facts_of(i, row));
    note_conversion(r, static_cast<int>(i), row, raw, value);
    if (std::isfinite(value)) {
      ds_.current_values()[static_cast<int>(i)] = value;
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
