// The station's following of the rig, wired to the hub: the depth calculator turns winch
// pulses into block travel, the data storage keeps the depths and the operation, the lag
// queue gets its marks and pumped volume; operator commands and scenarios come in here.
#include <fmt/format.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "calc/calc_values.h"
#include "calc/candle_counter.h"
#include "calc/candle_format.h"
#include "calc/depth_calc.h"
#include "calc/operations.h"
#include "calc/race_total.h"
#include "core/config.h"
#include "core/error_log.h"
#include "core/system.h"
#include "hardware/comm_incom_data.h"
#include "lib/module_list.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "pore/pore_opt.h"
#include "station/station.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"

namespace station {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kPumpStrokes = "ходы_насоса";

std::optional<double> parse_number(const std::string& word) {
  std::size_t used = 0;
  try {
    const double v = std::stod(word, &used);
    if (used == word.size() && std::isfinite(v)) return v;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace

void Station::make_rig_tracker() {
  RigTracker::Hooks hooks;
  // Travel forwards from the block's present height: the calculator counts pulses that end
  // at a height, so the move up by p pulses from h is the negative of -p pulses ending at h.
  hooks.travel_for = [this](std::int64_t pulses, double height, RigOperation op) -> double {
    const auto& dol = config_.dol;
    const double coeff = config_.get_KoefD(static_cast<int>(op));
    if (pulses > std::numeric_limits<int>::max() || pulses < -std::numeric_limits<int>::max())
      return kNaN;
    try {
      return -static_cast<double>(hub_.depth_calc().smart_calc_tal(
          static_cast<int>(-pulses), static_cast<float>(height), static_cast<float>(coeff),
          static_cast<float>(std::min(dol.min_block, dol.block_travel)),
          static_cast<float>(std::max(dol.min_block, dol.block_travel))));
    } catch (const std::exception& e) {
      log_.write(std::string("depth tracking: ") + e.what());
      return kNaN;
    }
  };
  hooks.annulus = [this](double depth) {
    return well_.get_zatrub_volume(depth, config_.race_info().get_kavern_koeff());
  };
  hooks.log = [this](const std::string& message) { log_.write(message); };
  rig_ = std::make_unique<RigTracker>(ds_, std::move(hooks));
}

RigTrackerSettings Station::rig_settings() const {
  const reg::Config& c = config_;
  RigTrackerSettings s;
  s.depth.zero_weight = c.recognition.zero_weight;
  s.depth.reverse = c.dol.reverse;
  s.depth.coefficient = c.dol.koef;
  s.depth.block_low = c.dol.min_block;
  s.depth.block_high = c.dol.block_travel;
  s.recognition.zero_pressure = c.recognition.zero_pressure;
  s.recognition.min_load = c.recognition.min_load;
  s.recognition.rotation_for_reaming = c.recognition.use_rotor;
  s.recognition.min_operation_seconds = 60.0 * c.recognition.min_operation_time;
  s.recognition.stand_length = c.dol.block_travel;
  s.lag.depth_step = c.recording.depth_step;
  s.lag.by_time = c.lag.by_lag_time != 0 && c.lag.lag_time > 0;
  s.lag.lag_seconds = c.lag.lag_time;
  s.lag.lag_seconds_per_100m = c.lag.lag_time_add;
  return s;
}

void Station::open_rig(const StationSettings& settings) {
  rig_->set_settings(rig_settings());
  ds_tmp::DataStorage& ds = ds_;
  rig_->start();
  const Depths& d = rig_->depths();
  notes_.push_back(fmt::format(
      "rig: bottom {:.2f} m, bit {:.2f} m, block {:.2f} m, lag depth {:.2f} m ({} marks on their "
      "way up){}",
      d.bottom, d.bit, d.block, ds.delayed_depth().get_value(), ds.delayed_depth().records().size(),
      rig_->state().loaded ? "" : "; no saved block position, the block starts at its lowest"));
  // What the saved state brought back, before a scenario or the command line moves anything.
  if (restored_) note_restored();
  if (nums_[reg::GlobalNums::kVesNaKryuke] < 0) {
    notes_.push_back(
        "rig: the table has no 'вес_на_крюке' row; the string is taken as hanging on the hook");
  }
  start_ms_ = clock_.steady_ms();
  pump_rows_ = find_pump_rows();
  // The run saved as active, before a scenario's own commands may start another.
  RigTrackerState& st = rig_->state();
  const bool saved_active = st.race_active && st.race > 0;
  const int saved_race = st.race;
  const int runs_before = runs_started_;
  if (!settings.scenario.empty()) {
    Scenario& scenario = play_.scenario.emplace(Scenario::load(settings.scenario, fs_));
    if (!scenario.pulses_per_metre()) scenario.set_pulses_per_metre(config_.dol.koef);
    notes_.push_back(fmt::format("scenario: '{}', {} frames over {:.0f} s", settings.scenario,
                                 scenario.frames(), scenario.duration()));
    // Before a run is started below, so the run starts where the scenario's story does.
    for (const std::string& c : scenario.start_commands())
      notes_.push_back("scenario: " + c + ": " + command(c));
  }
  const bool scenario_started_a_run = runs_started_ != runs_before;
  if (settings.race > 0) {
    start_race(settings.race, st.race_active && st.race == settings.race);
  } else if (saved_active && !scenario_started_a_run) {
    start_race(saved_race, true);
  }
  if (restored_) note_restored_recorder();
  control_ = std::make_unique<ControlFolder>(home_, fs_);
  if (std::string error; !control_->prepare(error)) {
    notes_.push_back("control: commands cannot be taken while running: " + error);
    control_.reset();
  } else {
    notes_.push_back("control: operator commands are taken from '" + control_->folder() + "'");
  }
}

void Station::note_restored() {
  const RigTrackerState& st = rig_->state();
  std::vector<std::string> lines;
  if (st.race > 0) {
    lines.push_back(fmt::format("registration run {} ({})", st.race,
                                st.race_active ? "active: it continues" : "stopped"));
  } else {
    lines.push_back("registration run: none was started");
  }
  const Depths& d = rig_->depths();
  lines.push_back(fmt::format("depths: bottom {:.2f} m, bit {:.2f} m, block {:.2f} m{}", d.bottom,
                              d.bit, d.block,
                              st.loaded ? "" : " (no saved block position: at its lowest)"));
  const auto& lag = ds_.delayed_depth();
  lines.push_back(fmt::format("lag queue: {} mark(s) on their way up, lag depth {:.2f} m",
                              lag.records().size(), lag.get_value()));
  const calc::RaceTotal& totals = totals_;
  lines.push_back(fmt::format(
      "run totals: footage {:.2f} m, drilling {:.3f} h, pumped {:.2f} m³, {:.0f} strokes",
      totals.get_prohodka(), totals.drill_time_hours(), totals.get_nasos_rastvor_volume(),
      totals.stroke_sum()));
  for (const auto& line : lines) note_restored_line(line);
}

void Station::note_restored_recorder() {
  const RigTrackerState& st = rig_->state();
  if (st.race_active) {
    note_restored_line(fmt::format(
        "recorder: run {} goes on in '{}', next depth line at {:.2f} m, {} depth line(s) "
        "waiting for their mud",
        st.race, recording_->time_file(), recording_->next_depth_line(),
        recording_->pending_lag_lines()));
  } else {
    note_restored_line(
        fmt::format("recorder: no run records; {} depth line(s) waiting for their mud",
                    recording_->pending_lag_lines()));
  }
}

void Station::note_restored_line(const std::string& line) {
  notes_.push_back("restored " + line);
}

void Station::start_race(int race, bool continue_race) {
  ++runs_started_;
  hub_.before_work(race, continue_race, "");
  rig_->start_run(race, continue_race);
  depths_jumped_ = true;
  recording_->start(race, continue_race);
  notes_.push_back(fmt::format("registration run {} {}", race,
                               continue_race ? "continues" : "starts; the lag queue is cleared"));
  log_.write(notes_.back());
  hub_.request_save();
}

std::map<int, int> Station::find_pump_rows() const {
  std::map<int, int> rows;
  const params::ParTabl& table = ds_.par_tabl();
  for (int i = 0; i < reg::kPumpCount; ++i) {
    const int row = table.find_global(kPumpStrokes + std::to_string(i + 1));
    if (row >= 0) rows[i] = row;
  }
  // A table with one unnumbered strokes row has one pump.
  if (rows.empty()) {
    const int row = nums_[reg::GlobalNums::kHodyNasosa];
    if (row >= 0) rows[0] = row;
  }
  return rows;
}

bool Station::scenario_finished() const {
  return play_.scenario && play_.start_ms >= 0 && play_.seconds >= play_.scenario->duration();
}

RecordingView Station::recording() const {
  return recording_ ? recording_->view(rig_ && rig_->state().race_active) : RecordingView{};
}

rtf::RealTimeFile* Station::recorder() {
  return recording_ ? &recording_->recorder() : nullptr;
}

RigInputs Station::rig_inputs(const TickFrame& frame) const {
  ds_tmp::DataStorage& ds = ds_;
  const auto& nums = nums_;
  // A row that is missing, or was not refreshed by this tick, tells nothing now.
  auto value = [&](int slot) {
    const int row = nums[slot];
    if (!frame.in_range(row) || !frame.rows[static_cast<std::size_t>(row)].fresh) return kNaN;
    return static_cast<double>(ds.current_values()[row]);
  };
  RigInputs in;
  in.seconds = static_cast<double>(clock_.steady_ms() - start_ms_) / 1000.0;
  const auto& dol = config_.dol;
  if (frame.reading_ok || frame.scene) {
    const auto it = frame.reading.modules.find(dol.uso);
    if (it != frame.reading.modules.end() && dol.channel >= 0 &&
        dol.channel < static_cast<int>(it->second.dol.size()) &&
        it->second.dol[static_cast<std::size_t>(dol.channel)].initialised) {
      in.pulses = it->second.dol[static_cast<std::size_t>(dol.channel)].value;
    }
  }
  in.hook_load =
      nums[reg::GlobalNums::kVesNaKryuke] < 0 ? 1e9 : value(reg::GlobalNums::kVesNaKryuke);
  in.inlet_pressure = value(reg::GlobalNums::kDavlenieNaVhode);
  in.rotary_speed = value(reg::GlobalNums::kOborotyRotora);
  in.weight_on_bit = value(reg::GlobalNums::kNagruzka);
  in.flow_lpm = frame.scene && frame.scene->flow ? *frame.scene->flow : frame.flow_lpm;
  return in;
}

Station::MudView Station::mud() const {
  MudView v;
  calc::CalcValues& calc = calc_;
  const calc::NasosWork& pumps = calc.pumps();
  for (const auto& [pump, row] : pump_rows_) {
    (void)row;
    v.pumps.push_back({pump + 1, pumps.is_working(pump), pumps.strokes(pump)});
  }
  v.flow_lpm = frame_.flow_lpm;
  ds_tmp::DataStorage& ds = ds_;
  const params::ParTabl& table = ds.par_tabl();
  const calc::VEmkOpts& tanks = calc.tanks();
  for (int i = 0; i < calc::VEmkOpts::kTankCount; ++i) {
    const calc::VEmkOpt& t = tanks[i];
    const int row = table.find_global(t.get_name());
    if (row < 0 || row >= ds_tmp::kSlots) continue;
    v.tanks.push_back({i + 1, t.get_caption(), ds.current_values()[row], t.get_volume(),
                       t.is_used(), t.is_used_for_doliv()});
  }
  v.active = tanks.get_active_tank_v();
  v.whole = tanks.get_whole_tank_v();
  v.doliv = tanks.get_whole_doliv_v();
  v.pit_gain = pit_.gain();
  return v;
}

void Station::show_block() {
  ds_tmp::DataStorage& ds = ds_;
  const int row = nums_[reg::GlobalNums::kTalblok];
  if (frame_.in_range(row) &&
      !ds.par_tabl().rows()[static_cast<std::size_t>(row)].channel.has_channel()) {
    ds.current_values()[row] = rig_->depths().block;
    frame_.set_fresh(row);
  }
}

Depths Station::current_depths() {
  // A plug-in or the host may have set the depths in the data storage: the tracker goes on
  // from there.
  if (rig_->take_outside_depths()) depths_jumped_ = true;
  return rig_->depths();
}

void Station::follow_rig(TickFrame& frame) {
  current_depths();
  // A tick without a reading tells nothing new about the rig.
  if (frame.reading_ok || frame.scene) {
    rig_->tick(rig_inputs(frame));
    show_block();
  }
  frame.depths = rig_->depths();
  frame.race = rig_->race();
  frame.race_active = rig_->race_active();
  // The stands, from the hook load and the block position the tick now shows.
  const reg::Config& c = config_;
  rig::StandSettings stands;
  stands.zero_weight = c.recognition.zero_weight;
  stands.stand_length = c.dol.block_travel;
  stands.pipes_per_stand = well_.instr().get_svecha_size();
  stands.stands_in_string = well_.instr().get_total_count();
  stands.hook_row = nums_[reg::GlobalNums::kVesNaKryuke];
  stands.block_row = nums_[reg::GlobalNums::kTalblok];
  stands.time = static_cast<std::uint32_t>(frame.steady_ms / 1000);
  stands_.tick(stands, [&frame](int row) { return frame.current(row); });
}

std::string Station::command(const std::string& line) {
  std::istringstream in(line);
  std::string verb, arg, extra;
  in >> verb >> arg >> extra;
  auto logged = [&](std::string answer) {
    log_.write("control: '" + line + "': " + answer);
    return answer;
  };
  if (verb == "bottom" || verb == "bit" || verb == "block") {
    const auto v = parse_number(arg);
    if (!v || !extra.empty()) return logged("error '" + verb + "' takes one number in metres");
    const bool ok = verb == "bottom" ? rig_->set_bottom(*v)
                    : verb == "bit"  ? rig_->set_bit(*v)
                                     : rig_->set_block(*v);
    if (!ok) return logged("error " + rig_->refusal());
    depths_jumped_ = true;
    show_block();
    hub_.request_save();
    const Depths& now = rig_->depths();
    return logged(fmt::format("ok bottom {:.2f} m, bit {:.2f} m, block {:.2f} m", now.bottom,
                              now.bit, now.block));
  }
  if (verb == "race") {
    if (arg == "stop" && extra.empty()) {
      if (!rig_->state().race_active) return logged("error no registration run is active");
      recording_->end();
      hub_.after_work("");
      rig_->stop_run();
      hub_.request_save();
      return logged(fmt::format("ok registration run {} stopped", rig_->state().race));
    }
    const auto n = parse_number(arg);
    if (!n || *n < 1 || *n > 1e6 || *n != std::floor(*n) || (!extra.empty() && extra != "continue"))
      return logged("error 'race' takes a run number, 'race N continue' or 'race stop'");
    const int race = static_cast<int>(*n);
    const bool cont =
        extra == "continue" || (rig_->state().race_active && rig_->state().race == race);
    if (rig_->state().race_active && rig_->state().race != race) {
      recording_->end();
      hub_.after_work("");
    }
    start_race(race, cont);
    return logged(fmt::format("ok registration run {} {}", race, cont ? "continues" : "started"));
  }
  if (verb == "operation") {
    if (!extra.empty() || arg.empty())
      return logged("error 'operation' takes an operation code or 'auto'");
    try {
      if (arg == "auto") {
        ds_.set_forced_operation_none();
        return logged("ok the operation is recognised from the sensors again");
      }
      const auto code = parse_number(arg);
      const calc::Operations& dict = operations_;
      if (!code || *code != std::floor(*code) || !dict.has_operation(static_cast<int>(*code)) ||
          *code == 0) {
        return logged("error no operation has the code '" + arg + "' (see rigstation operations)");
      }
      const int op = static_cast<int>(*code);
      ds_.set_forced_operation({op, 0, 0, 1});
      return logged(
          fmt::format("ok operation {} \"{}\" forced until 'operation auto'", op, dict.get(op)));
    } catch (const std::exception& e) {
      return logged(std::string("error ") + e.what());
    }
  }
  if (verb == "stands") {
    const auto n = parse_number(arg);
    const auto p = extra.empty() ? std::optional<double>(0) : parse_number(extra);
    const double most = candles::format::kMaxCount;
    if (!n || !p || *n < 0 || *p < 0 || *n > most || *p > most || *n != std::floor(*n) ||
        *p != std::floor(*p))
      return logged(
          "error 'stands' takes the stands in the hole and optionally the single "
          "pipes, whole numbers 0 .. " +
          std::to_string(candles::format::kMaxCount));
    candles::CandleCounter& cc = candles_;
    cc.set(static_cast<std::int32_t>(*n));
    cc.set_pipe(static_cast<std::int32_t>(*p));
    hub_.request_save();
    return logged(fmt::format("ok {} stands and {} pipes in the hole", cc.get(), cc.get_pipe()));
  }
  if (verb == "params") {
    if (arg != "reload" || !extra.empty()) return logged("error 'params' takes 'reload'");
    return logged(reload_table());
  }
  return logged("error unknown command '" + verb +
                "' (bottom, bit, block, race, operation, stands, params; see "
                "docs/control-folder.md)");
}

Station::RigView Station::rig() const {
  RigView v;
  ds_tmp::DataStorage& ds = ds_;
  v.bottom = ds.depth_z();
  v.bit = ds.depth_cur();
  v.lag = ds.delayed_depth().get_value();
  if (rig_) {
    // The tracker's own depths, not what it wrote into the storage.
    v.bottom = rig_->depths().bottom;
    v.bit = rig_->depths().bit;
    v.block = rig_->depths().block;
    v.on_hook = rig_->on_hook();
    v.race = rig_->state().race;
    v.race_active = rig_->state().race_active;
  }
  v.stands = candles_.get();
  v.pipes = candles_.get_pipe();
  const calc::RaceTotal& race = totals_;
  v.footage = race.get_prohodka();
  v.drill_hours = race.drill_time_hours();
  v.rop = race.average_rop();
  if (recording_ && rig_ && rig_->state().race_active) {
    v.recording_file = recording_->time_file();
    v.recording_queue = recording_->recorder().get_queue_size();
  }
  const calc::CurrentOperationItem op = hub_.effective_operation();
  const calc::Operations& dict = operations_;
  v.operation = op.operation;
  v.operation_name = dict.get(op.operation);
  v.operation_class = dict.css_class(op.operation);
  v.operation_colour = calc::css_colour(dict.get_color(op.operation));
  v.forced = ds.get_forced_operation() != 0;
  v.work_type = op.work_type;
  v.work_type_name = dict.get_work_type(op.work_type);
  v.prod_time = op.prod_time_type;
  v.prod_time_name = calc::Operations::get_production_time(op.prod_time_type);
  return v;
}

std::pair<std::int32_t, std::string> Station::operation() const {
  const std::int32_t code = operation_code();
  return {code, operations_.get(code)};
}

std::int32_t Station::operation_code() const {
  return hub_.effective_operation().operation;
}

}  // namespace station
