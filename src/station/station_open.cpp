// The start of a station: the home prepared, the settings, the table and the saved state
// loaded, the data source opened, the rig, the recording and the alarms' log made ready.
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "alarms/min_max_log.h"
#include "alarms/sound.h"
#include "alarms/voice_thread.h"
#include "core/config.h"
#include "core/error_log.h"
#include "core/registr_log_old.h"
#include "core/system.h"
#include "hardware/bus2017/bus2017_format.h"
#include "hardware/comm_protocols.h"
#include "hardware/protocol.h"
#include "hardware/protocol_names.h"
#include "lib/file_system.h"
#include "lib/module_list.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "plugin_host/plugin_manager.h"
#include "station/alarm_log_format.h"
#include "station/live_frame_publisher.h"
#include "station/station.h"
#include "station/station_home.h"
#include "storage/data_storage.h"
#include "storage/live_frame_format.h"

namespace station {
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

std::vector<std::string> Station::open_home(const StationSettings& settings) {
  const std::string& home = home_;
  std::vector<std::string> created;
  try {
    created = ensure_station_home(fs_, home, catalogue_, starter_module(settings));
  } catch (const std::exception& e) {
    // A starter table that could not be made (a row the catalogue lacks or the table's rules
    // would drop, a folder or file that cannot be written) stops the start; the error log
    // keeps the reason beside the screen's line, when the home can take a log at all.
    const std::string message = std::string(e.what()) + "; the station did not start";
    log_.write("Station::open : " + message);
    throw StationError(message);
  }

  hub_.register_modules();
  // The station's own following of the rig keeps its state in the same file.
  make_rig_tracker();
  modules_.register_module(rig_->state(), RigTrackerState::kModuleName);
  // The recorder and its saved state; its writer starts with a run.
  recording_ =
      std::make_unique<RunRecording>(RunRecording::Parts{fs_, clock_, log_, ds_, catalogue_, well_,
                                                         config_, home + kRecordingFolder},
                                     notes_);
  modules_.register_module(recording_->state(), "RealTimeFile");
  // Plug-ins come before the saved state, so those that keep state get it back.
  hub_.plugins().set_workpath(home);
  if (lib::is_folder(fs_, home + kPluginsFolder)) {
    hub_.plugins().load_folder(home + kPluginsFolder,
                               [this](const std::string& name, lib::ModuleBaseOld& module) {
                                 modules_.register_module(module, name);
                               });
    hub_.plugins_init();
  }
  // A settings file that cannot be read stops the start: running on defaults would only
  // surface later as a wrong port or wrong depths. What the load corrected is logged and
  // kept for the screen.
  try {
    settings_notes_ = config_.load_for_start(home + reg::kConfigFileName, fs_);
  } catch (const lib::IniError& e) {
    log_.write(e.what());
    throw StationError(std::string(e.what()) + "; the station did not start");
  }
  for (const std::string& note : settings_notes_) log_.write(note);
  // Every log the station writes keeps to the size and the number of old files set.
  const lib::LogLimits log_limits = config_.logs.limits();
  log_.set_limits(log_limits);
  hub_.registr_log_old().set_limits(log_limits);
  bus_.packet_log().set_limits(log_limits);
  params::ParTabl& table = ds_.par_tabl();
  table.set_file_names(home + kParamTableFileName, "");
  // A table that cannot be read whole stops the station before anything is saved: values
  // from half a table, or from rows without their calibration, would look sound.
  if (const params::ParTablLoad loaded = table.load(); !loaded)
    throw StationError(loaded.describe());
  apply_wits_param_files();
  // Plug-ins read their own settings against the station's settings and table.
  hub_.plugins_after_config_loaded();
  // The WITS servers of the settings: one receiving thread each, logs in the home folder.
  wits_in_.open(home, fs_, log_limits, config_.wits_options());
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
  const bool have_state = !lib::missing(fs_, home + reg::kStateFileName);
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
                                                       : config_.recording.state_save_period);
  nums_.calculate(table);
  ds_.correct_store_modes(nums_);

  // The data source: the command line wins over the settings.
  const auto& link = config_.link;
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
  hardware::CommProtocols& bus = bus_;
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
    log_.write(e.what());
    throw StationError(e.what());
  }
  for (const auto& problem : hub_.start_problems()) notes_.push_back(problem);
  notes_.push_back("error log: " + log_.file());
  alarm_log_ =
      std::make_unique<AlarmLogWriter>(home_ + std::string(alarm_log_format::kFileName), fs_,
                                       [this](const std::string& m) { log_.write(m); });
  alarm_log_->set_limits(log_limits);
  alarm_logged_ = alarm_pass_.on_alarm_logged.connect([this](const alarms::MinMaxLogItem& item) {
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
  alarm_started_ = alarm_pass_.on_alarm_started.connect(
      [this](const alarms::MinMaxLogItem&) { sound_.play_sound(alarms::kSoundAlarm); });
  // An alarm the saved state brought back is still under way: the crew must hear it after
  // the restart as before. It is no new episode (nothing logged) and its phrase, said once
  // per episode, is not said again (the item kept its voiced mark).
  bool alarm_under_way = false;
  {
    std::lock_guard guard(alarm_pass_.lock());
    alarm_under_way = !alarm_pass_.current_items().empty();
  }
  if (alarm_under_way) sound_.play_sound(alarms::kSoundAlarm);
  // A home whose word files were never made speaks no alarm: say how to make them.
  if (config_.sound.voice_alarms) {
    const std::vector<std::string> missing =
        voice_.missing_files({alarms::kVoiceAlarm, alarms::kVoiceParam, alarms::kVoiceIsLower,
                              alarms::kVoiceIsHigher, alarms::kVoiceSilence});
    if (!missing.empty()) {
      notes_.push_back("voice: " + std::to_string(missing.size()) +
                       " word file(s) of the alarm phrase missing, such as '" + missing.front() +
                       "'; alarms are not spoken until 'rigstation voice build' makes them");
    }
  }
  make_announcer();
  voice_.start();
  live_frame_ = std::make_unique<LiveFramePublisher>(
      *this, hub_.runtime_file(live::kFileName), fs_, clock_,
      [this](const std::string& m) { log_.write(m); });
  live_frame_tick_ = hub_.connect_data([this] { live_frame_->publish(); });
  make_stages();
  opened_ = true;
  return created;
}

}  // namespace station
