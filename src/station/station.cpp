// The station's life: the construction, the home lock, the order of a tick's work, the close,
// and the views of the parts the tick leaves behind.
#include "station/station.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>

#include "alarms/min_max_log.h"
#include "calc/calc_values.h"
#include "core/error_log.h"
#include "core/shared_values_format.h"
#include "core/system.h"
#include "hardware/comm_protocols.h"
#include "hardware/protocol_names.h"
#include "lib/file_system.h"
#include "lib/ident.h"
#include "lib/module_list.h"
#include "params/par_tabl.h"
#include "plugin_host/plugin_manager.h"
#include "station/live_frame_publisher.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"

namespace station {
std::int32_t protocol_id_of(const std::string& name) {
  return hardware::protocol_id_of(name);
}

Station::Station(reg::System& hub) : Station(hub, hub.parts()) {}

Station::Station(reg::System& hub, const reg::HostParts& parts)
    : hub_(hub),
      ds_(parts.data_storage),
      config_(parts.config),
      log_(parts.error_log),
      fs_(parts.file_system),
      clock_(parts.clock),
      nums_(parts.global_nums),
      bus_(parts.comm_protocols),
      alarm_pass_(parts.alarm_pass),
      sound_(parts.sound),
      voice_(parts.voice),
      modules_(parts.module_list),
      values_(parts.values),
      calc_(parts.calc_values),
      totals_(parts.race_total),
      candles_(parts.candle_counter),
      operations_(parts.operations),
      catalogue_(parts.catalogue),
      well_(parts.well),
      remarks_(parts.text_remarks),
      home_(parts.home),
      wits_in_(clock_),
      run_totals_(totals_, ds_),
      stands_(candles_, ds_, [this](const std::string& line) { log_.write(line); }) {
  // The shared export is the station's published frame: a stale measurement goes out as a
  // quiet NaN there (stage_publish.cpp), never a frozen value taken for a live one.
  plain_shared_values_ = hub_.shared_values_source();
  hub_.set_shared_values_source([this] { return shared_; });
}

Station::~Station() {
  live_frame_tick_.disconnect();
  hub_.set_shared_values_source(plain_shared_values_);
  if (rig_) modules_.unregister_module(RigTrackerState::kModuleName);
  if (recording_) {
    recording_->stop();
    modules_.unregister_module("RealTimeFile");
  }
}

std::int64_t Station::reopen_wait_ms() const {
  if (!source_.lost) return 0;
  return std::max<std::int64_t>(source_.next_reopen_ms - clock_.steady_ms(), 0);
}

std::vector<std::string> Station::open(const StationSettings& settings) {
  notes_.clear();
  return open_home(settings);
}

void Station::forget_state_of_changed_slots() {
  ds_tmp::DataStorage& ds = ds_;
  const params::ParTabl& table = ds.par_tabl();
  // Without the saved identifiers nothing tells whose state a slot holds.
  const std::vector<std::string>* saved = ds.saved_slot_identifiers();
  for (int i = 0; i < ds_tmp::kSlots; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    const std::string now = i < table.get_items_count() ? table[i].identifier : std::string();
    const std::string then = saved && slot < saved->size() ? (*saved)[slot] : std::string();
    if (saved == nullptr || !lib::ident_equal(then, now)) ds.current_values()[i] = 0.0;
  }
}

void Station::make_stages() {
  ds_tmp::DataStorage& ds = ds_;
  const reg::Config& config = config_;
  stages_.clear();
  stages_.push_back(std::make_unique<AcquireStage>(source_, bus_, clock_, log_, wits_in_,
                                                   [this](hardware::CommIncomData& reading) {
                                                     std::map<int, int> types = device_types(bus_);
                                                     hub_.plugins_adc_data(reading, types);
                                                   }));
  stages_.push_back(std::make_unique<ConvertStage>(ds, values_, config, nums_, clock_, source_,
                                                   log_, wits_in_, play_, pump_rows_));
  RigStage::Links rig;
  rig.poll_commands = [this] {
    if (control_) control_->poll([this](const std::string& line) { return command(line); });
  };
  rig.follow = [this](TickFrame& frame) { follow_rig(frame); };
  stages_.push_back(std::make_unique<RigStage>(calc_.pumps(), ds, config, nums_, log_, pump_rows_,
                                               std::move(rig)));
  CalculateStage::Links calc;
  calc.calc_and_store = [this](std::uint32_t seconds, std::function<bool(int)> current) {
    hub_.calc_and_store(seconds, std::move(current));
  };
  calc.operation = [this] { return operation_code(); };
  calc.active_volume = [this] { return calc_.tanks().get_active_tank_v(); };
  calc.announce = [this] { announce(frame_); };
  calc.plugins_data = [this] { hub_.plugins_data(); };
  stages_.push_back(std::make_unique<CalculateStage>(pit_, std::move(calc)));
  stages_.push_back(
      std::make_unique<AverageStage>(ds, run_totals_, [this] { return hub_.get_reg_active(); }));
  stages_.push_back(std::make_unique<RecordStage>(*recording_));
  // WITS out sends the values before the plug-ins' completed calculations, as it always did.
  PublishStage::Links publish;
  publish.depths = [this] { return current_depths(); };
  publish.export_values = [this](const reg::SharedValues& v) { shared_ = v; };
  if (wits_out_) publish.wits_out = [this](const TickFrame& frame) { publish_wits(frame); };
  stages_.push_back(std::make_unique<PublishStage>(ds, nums_, std::move(publish)));
  stages_.push_back(std::make_unique<AlarmStage>(alarm_pass_, sound_, clock_, ds, alarm_log_.get(),
                                                 [this] { hub_.plugins_data_calc_completed(); }));
  stages_.push_back(
      std::make_unique<OutputStage>(bus_, source_, alarm_pass_, config, last_output_,
                                    [this](std::map<int, int>& types, hardware::CommOutData& out) {
                                      hub_.plugins_prepare_indy_data(types, out);
                                    }));
  frame_.depths = current_depths();
  shared_ = PublishStage::shared_values(frame_, ds, nums_);
}

void Station::tick() {
  for (const auto& stage : stages_) stage->run(frame_);
  hub_.mess_caller().run_pending();
  hub_.on_data();
  if (const auto saved = hub_.save_when_due()) {
    if (!*saved && !save_failing_) {
      save_message_ = "the state could not be saved: " + hub_.last_save_error();
    } else if (*saved && save_failing_) {
      save_message_ = "the state is saved again to '" + home_ + reg::kStateFileName + "'";
    }
    save_failing_ = !*saved;
  }
}

std::string Station::take_save_message() {
  return std::exchange(save_message_, std::string());
}

bool Station::close() {
  if (!opened_) return true;
  // Every line taken so far reaches the disk before the state is saved.
  if (recording_) recording_->stop();
  const bool saved = hub_.save_to_file(home_);
  hub_.unload_plugins();
  bus_.get_port().close();
  wits_in_.terminate();
  if (wits_out_) wits_out_->stop();
  opened_ = false;
  return saved;
}

Station::AlarmView Station::alarms() const {
  AlarmView view;
  alarms::MinMaxLog& log = alarm_pass_;
  std::lock_guard guard(log.lock());
  view.relay_mask = log.relay_mask();
  view.current = log.current_texts();
  return view;
}

std::vector<WitsServerView> Station::wits_servers() const {
  return wits_in_.servers();
}

std::vector<RowView> Station::rows() const {
  std::vector<RowView> out;
  ds_tmp::DataStorage& ds = ds_;
  const auto& table_rows = ds.par_tabl().rows();
  for (std::size_t i = 0; i < table_rows.size() && i < static_cast<std::size_t>(ds_tmp::kSlots);
       ++i) {
    RowView v;
    v.identifier = table_rows[i].identifier;
    v.name = table_rows[i].short_name.empty() ? table_rows[i].full_name : table_rows[i].short_name;
    v.unit = table_rows[i].unit;
    v.value = ds[static_cast<int>(i)];
    if (i < frame_.rows.size()) {
      const FrameRow& r = frame_.rows[i];
      v.raw = r.raw;
      v.has_raw = r.has_raw;
      v.valid = r.valid;
      v.stale = r.stale();
    } else {
      // A row the last tick did not see yet (a table reloaded since) has no reading either.
      v.stale = table_rows[i].channel.has_channel();
    }
    v.alarm = ds.crush_flags()[static_cast<int>(i)] != 0;
    out.push_back(std::move(v));
  }
  return out;
}

std::size_t Station::row_count() const {
  return std::min(ds_.par_tabl().rows().size(), static_cast<std::size_t>(ds_tmp::kSlots));
}

double Station::row_value(int row) const {
  return ds_[row];
}

std::vector<RowView> Station::registered_values() const {
  std::vector<reg::ValueParam> params;
  values_.enum_values(params, false);
  std::vector<RowView> out;
  for (const auto& p : params) {
    RowView v;
    v.identifier = p.name;
    v.name = p.full_name;
    v.unit = p.unit;
    v.value = values_.get(p.name);
    out.push_back(std::move(v));
  }
  return out;
}

}  // namespace station
