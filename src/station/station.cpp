#include "station/station.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>

#include "alarms/min_max_log.h"
#include "alarms/sound.h"
#include "alarms/voice_thread.h"
#include "calc/calc_values.h"
#include "core/config.h"
#include "core/error_log.h"
#include "core/locks.h"
#include "core/registr_log_old.h"
#include "core/shared_values_format.h"
#include "core/system.h"
#include "hardware/bus2017/bus2017_format.h"
#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/comm_incom_data.h"
#include "hardware/comm_protocols.h"
#include "hardware/protocol.h"
#include "hardware/protocol_names.h"
#include "lib/ident.h"
#include "params/all_params.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "plugin_host/plugin_interface.h"
#include "plugin_host/plugin_manager.h"
#include "station/alarm_log_format.h"
#include "station/live_frame_publisher.h"
#include "station/station_home.h"
#include "storage/data_storage.h"
#include "storage/live_frame_format.h"
#include "storage/real_time_file.h"

namespace station {
std::int32_t protocol_id_of(const std::string& name) {
  return hardware::protocol_id_of(name);
}

namespace {

// The module a first start wires the starter rows to: on a 2017 bus the first module
// address served (modules start at 1 there), else 0 (the emulator, the older bus).
int starter_module(const StationSettings& settings) {
  if (protocol_id_of(settings.protocol) != hardware::kProtocol2017) return 0;
  const std::string addresses =
      settings.addresses.empty() ? reg::Config{}.link.uso_addrs : settings.addresses;
  std::size_t pos = 0;
  while (pos <= addresses.size()) {
    std::size_t end = addresses.find(',', pos);
    if (end == std::string::npos) end = addresses.size();
    const long a = std::strtol(addresses.substr(pos, end - pos).c_str(), nullptr, 10);
    if (hardware::bus2017::is_module_address(static_cast<int>(a))) return static_cast<int>(a);
    pos = end + 1;
  }
  return 1;
}

}  // namespace

Station::Station(reg::System& hub) : hub_(hub) {
  // Readers of the shared export must not take a frozen value for a live one: a stale
  // measurement goes out as a quiet NaN (the depths are the station's own and stay).
  plain_shared_values_ = hub_.shared_values_source();
  hub_.set_shared_values_source([this] {
    reg::SharedValues v = plain_shared_values_ ? plain_shared_values_() : reg::SharedValues{};
    const params::ParTabl& table = hub_.data_storage().par_tabl();
    const auto stale = [&](const char* identifier) {
      return row_stale(table.find_global(identifier));
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (stale(reg::kvb::kHookLoadParam)) v.hook_load = nan;
    if (stale(reg::kvb::kBlockPositionParam)) v.block_position = nan;
    if (stale(reg::kvb::kInletPressureParam)) v.inlet_pressure = nan;
    return v;
  });
}

Station::~Station() {
  live_frame_tick_.disconnect();
  hub_.set_shared_values_source(plain_shared_values_);
  if (rig_) hub_.module_list().unregister_module(RigTrackerState::kModuleName);
  if (recorder_) {
    recorder_->stop_save_thread();
    hub_.module_list().unregister_module("RealTimeFile");
  }
}

bool Station::row_current(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= fresh_.size()) return false;
  return fresh_[static_cast<std::size_t>(row)] && valid_[static_cast<std::size_t>(row)];
}

bool Station::row_stale(int row) const {
  if (row < 0) return false;
  const params::ParTabl& table = hub_.data_storage().par_tabl();
  if (row >= table.get_items_count()) return false;
  const params::USOChannel& channel = table.rows()[static_cast<std::size_t>(row)].channel;
  // Rows fed by nothing are not this source's to judge; a WITS row is stale while its
  // server is not connected or its record is not recent (convert_wits_rows).
  if (!channel.has_channel()) return false;
  return static_cast<std::size_t>(row) >= fresh_.size() || !fresh_[static_cast<std::size_t>(row)];
}

std::int64_t Station::reopen_wait_ms() const {
  if (!source_.lost) return 0;
  return std::max<std::int64_t>(source_.next_reopen_ms - hub_.clock().steady_ms(), 0);
}

void Station::watch_line(bool reading_ok) {
  lib::CommPort& port = hub_.comm_protocols().get_port();
  if (reading_ok || source_.lost || !port.is_opened() || !port.line_lost()) return;
  // The device itself is gone (a pulled USB adapter answers reads and writes with errors).
  // Its descriptor is useless now; the same path is tried again on a back-off.
  source_.lost = true;
  source_.lost_reason = port.lost_reason();
  port.close();
  source_.reopen_delay_ms = kFirstReopenDelayMs;
  source_.next_reopen_ms = hub_.clock().steady_ms() + source_.reopen_delay_ms;
  hub_.error_log().write("Data source lost: serial port '" + source_.port + "' of " +
                         source_.protocol_name + " failed (" + source_.lost_reason +
                         "); its values are shown as stale and the port is reopened every " +
                         std::to_string(kFirstReopenDelayMs / 1000) + " to " +
                         std::to_string(kMaxReopenDelayMs / 1000) + " s until it answers");
}

void Station::try_reopen() {
  if (!source_.lost || hub_.clock().steady_ms() < source_.next_reopen_ms) return;
  hardware::CommProtocols& bus = hub_.comm_protocols();
  if (!bus.get_port().reopen()) {
    source_.reopen_delay_ms = std::min(source_.reopen_delay_ms * 2, kMaxReopenDelayMs);
    source_.next_reopen_ms = hub_.clock().steady_ms() + source_.reopen_delay_ms;
    return;
  }
  bus.configure_port(source_.protocol_id, 0);
  bus.clear();
  source_.lost = false;
  source_.lost_reason.clear();
  source_.reopen_delay_ms = 0;
  ++source_.reopens;
  hub_.error_log().write("Data source back: serial port '" + source_.port + "' of " +
                         source_.protocol_name + " reopened; reading it again");
}

std::vector<std::string> Station::open(const StationSettings& settings) {
  notes_.clear();
  return open_home(settings);
}

std::vector<std::string> Station::open_home(const StationSettings& settings) {
  const std::string& home = hub_.get_exe_path();
  std::vector<std::string> created;
  try {
    created =
        ensure_station_home(hub_.file_system(), home, hub_.catalogue(), starter_module(settings));
  } catch (const std::exception& e) {
    // A starter table that could not be made (a row the catalogue lacks or the table's rules
    // would drop, a folder or file that cannot be written) stops the start; the error log
    // keeps the reason beside the screen's line, when the home can take a log at all.
    const std::string message = std::string(e.what()) + "; the station did not start";
    hub_.error_log().write("Station::open : " + message);
    throw StationError(message);
  }

  hub_.register_modules();
  // The station's own following of the rig keeps its state in the same file.
  make_rig_tracker();
  hub_.module_list().register_module(rig_->state(), RigTrackerState::kModuleName);
  open_recording();
  // Plug-ins come before the saved state, so those that keep state get it back.
  hub_.plugins().set_workpath(home);
  if (lib::is_folder(hub_.file_system(), home + kPluginsFolder)) {
    hub_.plugins().load_folder(home + kPluginsFolder,
                               [this](const std::string& name, lib::ModuleBaseOld& module) {
                                 hub_.module_list().register_module(module, name);
                               });
    hub_.plugins_init();
  }
  // A settings file that cannot be read stops the start: running on defaults would only
  // surface later as a wrong port or wrong depths. What the load corrected is logged and
  // kept for the screen.
  try {
    settings_notes_ = hub_.config().load_for_start(home + reg::kConfigFileName, hub_.file_system());
  } catch (const lib::IniError& e) {
    hub_.error_log().write(e.what());
    throw StationError(std::string(e.what()) + "; the station did not start");
  }
  for (const std::string& note : settings_notes_) hub_.error_log().write(note);
  // Every log the station writes keeps to the size and the number of old files set.
  const lib::LogLimits log_limits = hub_.config().logs.limits();
  hub_.error_log().set_limits(log_limits);
  hub_.registr_log_old().set_limits(log_limits);
  hub_.comm_protocols().packet_log().set_limits(log_limits);
  params::ParTabl& table = hub_.data_storage().par_tabl();
  table.set_file_names(home + kParamTableFileName, "");
  // A table that cannot be read whole stops the station before anything is saved: values
  // from half a table, or from rows without their calibration, would look sound.
  if (const params::ParTablLoad loaded = table.load(); !loaded)
    throw StationError(loaded.describe());
  apply_wits_param_files();
  // Plug-ins read their own settings against the station's settings and table.
  hub_.plugins_after_config_loaded();
  // The WITS servers of the settings: one receiving thread each, logs in the home folder.
  wits_ = std::make_unique<wits::WITSReceiver>(home, hub_.clock(), hub_.file_system());
  wits_->set_log_limits(log_limits);
  wits_->set_options(hub_.config().wits_options());
  next_wits_watchdog_ms_ = hub_.clock().steady_ms() + wits_->wd_interval_ms();
  open_wits_sender(settings);
  // What a save killed midway left behind; the home lock says no other station is saving.
  const auto leftovers = hub_.remove_save_leftovers();
  if (!leftovers.empty()) {
    std::string names;
    for (const auto& n : leftovers) names += (names.empty() ? "" : ", ") + n;
    notes_.push_back("state: removed " + std::to_string(leftovers.size()) +
                     " temporary file(s) of an interrupted save: " + names);
  }
  // A first start has no saved state yet: nothing to restore, nothing to complain about.
  // A state file that cannot even be looked at counts as there: its load reports why.
  const bool have_state = !lib::missing(hub_.file_system(), home + reg::kStateFileName);
  if (settings.restore && have_state) {
    const reg::StateLoadReport report = hub_.load_from_file(home);
    for (auto& line : report.notes()) notes_.push_back(std::move(line));
    restored_ = !report.refused;
    forget_state_of_changed_slots();
  } else if (have_state) {
    notes_.push_back("state: '" + home + reg::kStateFileName +
                     "' not restored on request; the first save replaces it");
  }
  hub_.set_save_period_seconds(settings.save_every > 0 ? settings.save_every
                                                       : hub_.config().recording.state_save_period);
  hub_.global_nums().calculate(table);
  hub_.data_storage().correct_store_modes(hub_.global_nums());

  // The data source: the command line wins over the settings.
  const auto& link = hub_.config().link;
  std::int32_t id = link.pult_id;
  // A scenario plays on the emulator unless a source is named.
  if (!settings.scenario.empty() && settings.protocol.empty()) id = hardware::kProtocolEmulator;
  if (!settings.protocol.empty()) {
    id = protocol_id_of(settings.protocol);
    if (id < 0) {
      throw StationError("unknown data source '" + settings.protocol + "'; one of " +
                         hardware::protocol_name_list() + " (or a protocol number)");
    }
  }
  hardware::CommProtocols& bus = hub_.comm_protocols();
  const hardware::Protocol* protocol = bus.protocol_at(bus.get_protocol_number(id));
  if (protocol == nullptr)
    throw StationError("data source " + std::to_string(id) + " is not available in this build");
  source_.protocol_id = id;
  source_.protocol_name = protocol->name;
  source_.adc_full_scale = protocol->max_adc;
  source_.port = settings.port.empty() ? link.port : settings.port;
  if (id != hardware::kProtocolEmulator) {
    if (!bus.get_port().open(source_.port)) {
      throw StationError("cannot open the port '" + source_.port + "' for " + protocol->name);
    }
    bus.configure_port(id, 0);
  } else {
    source_.port = "-";
  }
  source_.port_text = source_.port;
  if (id == hardware::kProtocol2017)
    source_.port_text = settings.addresses.empty() ? link.uso_addrs : settings.addresses;
  bus.clear();
  try {
    open_rig(settings);
  } catch (const ScenarioError& e) {
    hub_.error_log().write(e.what());
    throw StationError(e.what());
  }
  for (const auto& problem : hub_.start_problems()) notes_.push_back(problem);
  notes_.push_back("error log: " + hub_.error_log().file());
  alarm_log_ = std::make_unique<AlarmLogWriter>(
      hub_.get_exe_path() + std::string(alarm_log_format::kFileName), hub_.file_system(),
      [this](const std::string& m) { hub_.error_log().write(m); });
  alarm_log_->set_limits(log_limits);
  alarm_logged_ =
      hub_.min_max_log().on_alarm_logged.connect([this](const alarms::MinMaxLogItem& item) {
        const alarms::MinMaxValue& t = item.threshold();
        AlarmLogRecord r;
        r.started = item.started();
        r.ended = item.last_seen();
        r.parameter = t.get_param();
        r.kind = t.get_kind();
        if (t.has_min()) r.min = t.get_min();
        if (t.has_max()) r.max = t.get_max();
        r.extreme = item.extreme();
        r.value = item.value();
        r.unit = item.param_unit();
        r.text = item.get_text(item.param_name(), item.param_unit());
        alarm_log_->append(r);
      });
  // A new alarm sounds the alarm loop; it stops once no alarm is current (run_alarms).
  alarm_started_ = hub_.min_max_log().on_alarm_started.connect(
      [this](const alarms::MinMaxLogItem&) { hub_.sound().play_sound(alarms::kSoundAlarm); });
  // An alarm the saved state brought back is still under way: the crew must hear it after
  // the restart as before. It is no new episode (nothing logged) and its phrase, said once
  // per episode, is not said again (the item kept its voiced mark).
  bool alarm_under_way = false;
  {
    std::lock_guard guard(hub_.min_max_log().lock());
    alarm_under_way = !hub_.min_max_log().current_items().empty();
  }
  if (alarm_under_way) hub_.sound().play_sound(alarms::kSoundAlarm);
  // A home whose word files were never made speaks no alarm: say how to make them.
  if (hub_.config().sound.voice_alarms) {
    const std::vector<std::string> missing = hub_.voice_thread().missing_files(
        {alarms::kVoiceAlarm, alarms::kVoiceParam, alarms::kVoiceIsLower, alarms::kVoiceIsHigher,
         alarms::kVoiceSilence});
    if (!missing.empty()) {
      notes_.push_back("voice: " + std::to_string(missing.size()) +
                       " word file(s) of the alarm phrase missing, such as '" + missing.front() +
                       "'; alarms are not spoken until 'rigstation voice build' makes them");
    }
  }
  make_announcer();
  hub_.voice_thread().start();
  live_frame_ = std::make_unique<LiveFramePublisher>(
      *this, hub_.runtime_file(live::kFileName), hub_.file_system(), hub_.clock(),
      [this](const std::string& m) { hub_.error_log().write(m); });
  live_frame_tick_ = hub_.connect_data([this] { live_frame_->publish(); });
  opened_ = true;
  return created;
}

void Station::forget_state_of_changed_slots() {
  ds_tmp::DataStorage& ds = hub_.data_storage();
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

std::map<int, int> Station::device_types() const {
  std::map<int, int> types;
  for (const auto& [address, type] : hub_.comm_protocols().device_types()) types[address] = type;
  return types;
}

void Station::run_alarms() {
  std::lock_guard guard(sys_lock_obj());
  alarms::MinMaxLog& log = hub_.min_max_log();
  // One count-down step per second of the clock, whatever the tick rate; after a long
  // stall no more steps than would expire every item.
  const std::int64_t now_ms = hub_.clock().steady_ms();
  if (last_timeout_ms_ < 0) last_timeout_ms_ = now_ms;
  for (int steps = 0; now_ms - last_timeout_ms_ >= 1000; ++steps) {
    if (steps > alarms::kAlarmCountdown) {
      last_timeout_ms_ = now_ms;
      break;
    }
    log.process_timeout();
    last_timeout_ms_ += 1000;
  }
  log.process();
  log.process_voice();
  bool any_current = false;
  {
    std::lock_guard items_guard(log.lock());
    any_current = !log.current_items().empty();
  }
  if (!any_current && hub_.sound().looping() == alarms::kSoundAlarm) hub_.sound().stop_sound();
  if (alarm_log_) alarm_log_->flush();
}

Station::AlarmView Station::alarms() const {
  AlarmView view;
  alarms::MinMaxLog& log = hub_.min_max_log();
  std::lock_guard guard(log.lock());
  view.relay_mask = log.relay_mask();
  for (const auto& item : log.current_items())
    view.current.push_back(item->get_text(item->param_name(), item->param_unit()));
  return view;
}

void Station::send_output() {
  hardware::CommProtocols& bus = hub_.comm_protocols();
  const hardware::Protocol* protocol =
      bus.protocol_at(bus.get_protocol_number(source_.protocol_id));
  if (protocol == nullptr || !protocol->send) {
    last_output_ = {};
    last_output_.word = hub_.min_max_log().relay_mask();
    return;
  }
  // Consoles and indicators show what plug-ins prepare for them; the device types of the
  // last reading tell a plug-in what sits at each address.
  std::map<int, int> types = device_types();
  hardware::CommOutData out;
  // The consoles switch their relays from the mask of this tick's alarm pass.
  out.word = hub_.min_max_log().relay_mask();
  hub_.plugins_prepare_indy_data(types, out);
  // With the console relays in use every console on a 2017 bus is told the mask each tick,
  // so a relay follows its alarm (and drops with it) without a console plug-in.
  if (hub_.config().link.use_pult_relay && source_.protocol_id == hardware::kProtocol2017) {
    for (const int a : hardware::parse_bus_addresses(source_.port_text))
      if (hardware::bus2017::is_console_address(a)) out.pults[a].relays = true;
  }
  last_output_ = out;
  if (out.pults.empty() && out.indicators.empty()) return;
  bus.send_data(source_.protocol_id, source_.port_text, out);
}

void Station::tick() {
  ++source_.ticks;
  try_reopen();
  hardware::CommProtocols& bus = hub_.comm_protocols();
  hardware::CommIncomData reading;
  const bool ok = bus.read_data(source_.protocol_id, source_.port_text, reading);
  if (ok) {
    bus.update_variables(reading);
    ++source_.good_readings;
    source_.last_good_tick = source_.ticks;
    // Plug-ins see the raw reading before any row converts it.
    std::map<int, int> types = device_types();
    hub_.plugins_adc_data(reading, types);
  } else {
    ++source_.failures;
  }
  source_.stale = !ok;
  watch_line(ok);
  wits_tick();

  ds_tmp::DataStorage& ds = hub_.data_storage();
  const params::ParTabl& table = ds.par_tabl();
  const int rows = std::min(table.get_items_count(), ds_tmp::kSlots);
  raw_.resize(static_cast<std::size_t>(rows), 0.0);
  has_raw_.resize(static_cast<std::size_t>(rows), false);
  valid_.resize(static_cast<std::size_t>(rows), true);
  fresh_.assign(static_cast<std::size_t>(rows), false);
  if (ok) {
    // The hook load takes the drawworks line factor; a missing or zero factor means 1.
    double factor = hub_.values().get_float_variable("KoefPolispast");
    if (!(factor > 0)) factor = 1.0;
    // One reading, one moment: every row of it converts at the same time.
    const lib::DateTime now = lib::now(hub_.clock());
    for (int i = 0; i < rows; ++i) {
      const params::Param& row = table.rows()[static_cast<std::size_t>(i)];
      if (!reading.got_value(row.channel)) continue;  // a failed read keeps the last value
      const double raw = reading.values(row.channel);
      raw_[static_cast<std::size_t>(i)] = raw;
      has_raw_[static_cast<std::size_t>(i)] = true;
      const double value = row.calc_value_from_reading(raw, source_.adc_full_scale, factor, now);
      note_conversion(i, row, raw, value);
      if (std::isfinite(value)) {
        ds.current_values()[i] = value;
        fresh_[static_cast<std::size_t>(i)] = true;
      }
    }
  }
  convert_wits_rows(rows);
  apply_scenario(reading);
  // The calculations of the tick, in their fixed order: the pumps, the rig's block travel
  // and lag depth, then the calculated values (tank volumes and totals, mud volumes, and
  // the stands, counted from this tick's block position).
  pumps_tick();
  rig_tick(reading, ok);
  hub_.calc_and_store(static_cast<std::uint32_t>(hub_.clock().steady_ms() / 1000),
                      [this](int row) { return row_current(row); });
  pit_.update(hub_.effective_operation().operation, hub_.calc_values().tanks().get_active_tank_v());
  announce();
  if (ok) hub_.plugins_data();
  ds.average_values().calculate_values(false);
  ds.average_values().calculate_values(true);
  run_totals();
  ds.tick();
  record_tick();
  publish_wits();
  hub_.plugins_data_calc_completed();
  run_alarms();
  send_output();
  hub_.mess_caller().run_pending();
  hub_.on_data();
  if (const auto saved = hub_.save_when_due()) {
    if (!*saved && !save_failing_) {
      save_message_ = "the state could not be saved: " + hub_.last_save_error();
    } else if (*saved && save_failing_) {
      save_message_ =
          "the state is saved again to '" + hub_.get_exe_path() + reg::kStateFileName + "'";
    }
    save_failing_ = !*saved;
  }
}

void Station::note_conversion(int index, const params::Param& row, double raw, double value) {
  const auto i = static_cast<std::size_t>(index);
  const bool finite = std::isfinite(value);
  // Reported when the row turns bad, not on every tick it stays bad.
  if (!finite && valid_[i]) {
    hub_.error_log().write("Station::tick : row " + std::to_string(index + 1) + " '" +
                           row.identifier + "': the conversion of the raw input " +
                           std::to_string(raw) + " gives no number (" +
                           (std::isnan(value) ? "NaN" : "infinity") +
                           "); the value is marked not valid until it converts again");
  }
  valid_[i] = finite;
}

std::string Station::take_save_message() {
  return std::exchange(save_message_, std::string());
}

bool Station::close() {
  if (!opened_) return true;
  // Every line taken so far reaches the disk before the state is saved.
  if (recorder_) recorder_->stop_save_thread();
  const bool saved = hub_.save_to_file(hub_.get_exe_path());
  hub_.unload_plugins();
  hub_.comm_protocols().get_port().close();
  if (wits_) wits_->terminate();
  if (wits_out_) wits_out_->stop();
  opened_ = false;
  return saved;
}

void Station::wits_tick() {
  if (!wits_ || wits_->threads().empty()) return;
  const std::int64_t now = hub_.clock().steady_ms();
  wits::WITSCommIncomData fresh;
  if (wits_->read_data(fresh)) {
    for (auto& [server, records] : fresh.servers()) {
      auto& mine = wits_reading_.servers()[server];
      auto& taken = wits_record_ms_[server];
      for (auto& [number, record] : records) {
        mine[number] = std::move(record);
        taken[number] = now;
      }
    }
  }
  for (const auto& thread : wits_->threads()) {
    if (const auto arrived = thread->last_record_ms()) {
      std::int64_t& newest = wits_last_record_ms_[thread->options().name];
      newest = std::max(newest, *arrived);
    }
  }
  // Servers that are no longer listened to drop out of the reading.
  const auto gone = [this](const auto& entry) {
    for (const auto& thread : wits_->threads())
      if (thread->options().name == entry.first) return false;
    return true;
  };
  std::erase_if(wits_reading_.servers(), gone);
  std::erase_if(wits_record_ms_, gone);
  if (wits_->wd_timer_active() && now >= next_wits_watchdog_ms_) {
    wits_->on_wd_timer();
    next_wits_watchdog_ms_ = now + wits_->wd_interval_ms();
  }
}

std::vector<WitsServerView> Station::wits_servers() const {
  std::vector<WitsServerView> out;
  if (!wits_) return out;
  const std::int64_t now = hub_.clock().steady_ms();
  for (const auto& thread : wits_->threads()) {
    WitsServerView v;
    v.name = thread->options().name;
    v.status = wits::status_name(thread->is_working());
    v.running = thread->running();
    if (const auto it = wits_last_record_ms_.find(v.name); it != wits_last_record_ms_.end())
      v.last_record_age_s = static_cast<double>(now - it->second) / 1000.0;
    out.push_back(std::move(v));
  }
  return out;
}

std::vector<RowView> Station::rows() const {
  std::vector<RowView> out;
  ds_tmp::DataStorage& ds = hub_.data_storage();
  const auto& table_rows = ds.par_tabl().rows();
  for (std::size_t i = 0; i < table_rows.size() && i < static_cast<std::size_t>(ds_tmp::kSlots);
       ++i) {
    RowView v;
    v.identifier = table_rows[i].identifier;
    v.name = table_rows[i].short_name.empty() ? table_rows[i].full_name : table_rows[i].short_name;
    v.unit = table_rows[i].unit;
    v.value = ds[static_cast<int>(i)];
    if (i < raw_.size()) {
      v.raw = raw_[i];
      v.has_raw = has_raw_[i];
      v.valid = valid_[i];
    }
    v.stale = row_stale(static_cast<int>(i));
    v.alarm = ds.crush_flags()[static_cast<int>(i)] != 0;
    out.push_back(std::move(v));
  }
  return out;
}

std::vector<RowView> Station::registered_values() const {
  std::vector<reg::ValueParam> params;
  hub_.values().enum_values(params, false);
  std::vector<RowView> out;
  for (const auto& p : params) {
    RowView v;
    v.identifier = p.name;
    v.name = p.full_name;
    v.unit = p.unit;
    v.value = hub_.values().get(p.name);
    out.push_back(std::move(v));
  }
  return out;
}

}  // namespace station
