// The station's technological settings: depth sensor, recording steps, operation
// recognition, pumps, densitometer, device link, lag depth, sound and video. Config is a
// settings object of lib::ini_options (its sections and keys are listed in
// docs/configuration.md); beside its options it owns the two alarm threshold lists, the WITS
// server list and the bit-run record, and offers the few accessors the calculations use.
//
// Config reaches nothing by itself: the value registry (to set variables, to read current
// values) and the error log are handed to it by its owner.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alarms/min_max_values.h"
#include "calc/race_info_old.h"
#include "core/config_nasos_opt.h"
#include "lib/ini_file.h"
#include "lib/log_files.h"
#include "lib/module_list.h"
#include "lib/options.h"
#include "lib/string_container.h"
#include "wits/wits_receiver_options.h"

namespace calc {
class DepthCalc;
class VEmkOpts;
}  // namespace calc

namespace reg {

// The station keeps its configuration, with the threshold lists and the WITS server list, in
// this file of its home folder; the global and interface settings may share it (their
// sections differ).
inline constexpr const char* kConfigFileName = "global.ini";

inline constexpr int kPumpCount = 6;
// The two tripping operations, which may have depth-sensor coefficients of their own.
inline constexpr int kTripDownOperation = 14;
inline constexpr int kTripUpOperation = 15;
// Section of the second threshold list.
inline constexpr const char* kSecondThresholdSection = "MinMaxValues2";
// The module name of the threshold list the alarm pass reads.
inline constexpr const char* kThresholdsModuleName = "MinMaxValues";

class Config : public lib::ini_options {
 public:
  using VariableSetter = std::function<void(const std::string& name, const std::string& value)>;
  using CurrentValueReader = std::function<double(const std::string& name)>;
  using ErrorSink = std::function<void(const std::string& message)>;

  // "рейс"
  struct Race {
    int drill_number = 1;  // номер_долбления
  };
  // "ДОЛ": the drawworks depth sensor.
  struct Dol {
    double koef = 150;  // pulses per metre
    double koef_up = 150;
    double koef_dn = 150;
    bool koef_by_operation = false;  // KoefD_advanced
    double measured_length = 12.4;   // m
    int reverse = 1;                 // -1 or 1
    int uso = 0;
    int channel = 0;
    double block_travel = 36;  // свеча, m
    double min_block = 0;      // m
  };
  // "запись_и_осреднение"
  struct Recording {
    double depth_step = 0.2;  // m
    int time_step = 10000;
    bool save_fast_file = false;
    // период_сохранения_состояния: seconds between two saves of "sys.bin" while the station
    // runs, so a power cut loses at most this much.
    int state_save_period = 5;
  };
  // A console button wired to a module input.
  struct Button {
    int uso = 0;
    int channel = 0;
    bool use = false;
  };
  // "настройки_распознавания": operation recognition.
  struct Recognition {
    double zero_weight = 10;  // t
    bool use_rotor = false;
    bool use_klinya = false;
    bool auto_wes = false;
    double zero_pressure = 30;  // atm
    double max_load = 30;       // t
    double min_load = 0.5;      // t
    double column_weight = 5;   // t
    // -1: the same as column_weight (check() resolves it).
    double column_weight_no_rotation = -1;
    double load_depth = 100;     // m above bottom
    int min_operation_time = 3;  // min
    Button ves{0, 5, false};
    Button tal{0, 6, false};
    Button zaboy{0, 6, false};
  };
  // "прочие_настройки"
  struct Other {
    double last_tal = 0;  // last travelling-block position, m
    std::array<NasosOpt, kPumpCount> pumps{};
    double densimeter_base = 1;  // m
    double densimeter_koef = 84;
    double polispast_koef = 10;  // block-and-tackle coefficient
    double koef_tplt_in = 0;
    double koef_tplt_out = 0;
    int screen_size = 1800;
    double extra_mud_volume = 0;  // m³
    double rotor_koef = 1;
    int rotor_pulses_per_rev = 1;  // at least 1 after check()
  };
  // "связь": the device link.
  struct Link {
    int data_source = 0;  // 0 console, 1 computer, 2 file
    std::string port = "COM1";
    std::string uso_addrs = "1";
    bool sound = true;
    int sound_length = 20;
    int pult_id = 10;
    std::string remote_computer = "::не задано::";
    bool use_pult_signal = true;
    bool use_pult_relay = false;
    std::string ds_file_name;
    std::string net_name;
    bool use_net_uso = false;
    int super_port = 65005;
    int sms_gate_id = -1;
    std::string sms_gate_login;
    std::string sms_gate_pass;
    std::string sms_gate_sender;
    int sms_channel = 0;
    std::string sms_gate_template = "%deposit% %pore%: %param%=%value% %unit%";
  };
  // "задержанная_глубина": lag depth.
  struct LagDepth {
    double zero_out_flow = 17;  // l/s
    double out_flow = 25;       // l/s
    int by_lag_time = 1;
    double lag_time = 0;      // s
    double lag_time_add = 0;  // s per 100 m
    int circulation_by_pressure = 1;
    int gas_pass_time = 0;       // s
    int mark_time_interval = 1;  // m
    int flow_source = 1;
  };
  // "звуковое_предупреждение": 0 none, 1 short, 2 long signal, 3 voice.
  struct Sound {
    int pressure_on = 0;
    int pressure_off = 0;
    int on_bottom = 0;
    int sound_type = 1;
    int stuck_signal_type = 0;
    int stuck_interval = 1;
    bool voice_operations = true;
    bool voice_alarms = true;
    bool voice_warns = true;
  };
  // "видеонаблюдение"
  struct Video {
    std::array<std::string, 4> cam_url{};
    int snapshot_width = 320;      // pixels
    int compression_quality = 75;  // %
  };

  // "журналы": every log file the station writes (errors, events, packets, alarms, WITS).
  struct Logs {
    int max_mb = 8;  // размер_журнала: a log past this many MiB is moved aside
    int keep = lib::LogLimits::kDefaultKeep;  // старых_журналов: old files kept of each log
    lib::LogLimits limits() const { return {std::int64_t{max_mb} << 20, keep}; }
  };
  // "прием_wits"
  struct WitsReceive {
    // устаревание_wits: a WITS row whose record is older than this is stale.
    int stale_after_s = 10;
  };

  Race race;
  Dol dol;
  Recording recording;
  Recognition recognition;
  Other other;
  Link link;
  LagDepth lag;
  Sound sound;
  Video video;
  Logs logs;
  WitsReceive wits_receive;
  // Identifiers of the outlet parameters and of the gas parameters, which the lag-depth
  // module shifts by the lag. Not options: they are not shown and not saved.
  lib::StringContainer out_params;
  lib::StringContainer gas_params;

  // Creates the owned lists and record, then defaults().
  Config();
  ~Config() override;
  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;

  // ---- collaborators ------------------------------------------------------------------
  void set_variable_setter(VariableSetter setter) { set_variable_ = std::move(setter); }
  void set_current_value_reader(CurrentValueReader reader) { current_value_ = std::move(reader); }
  void set_error_sink(ErrorSink sink) { error_sink_ = std::move(sink); }
  // The depth sensor's calibration, whose settings and table share this file (not owned;
  // null: none).
  void set_depth_calc(calc::DepthCalc* depth_calc) { depth_calc_ = depth_calc; }
  // The mud tanks and the turbine, whose settings and level tables share this file (not
  // owned; null: none).
  void set_tanks(calc::VEmkOpts* tanks) { tanks_ = tanks; }

  // ---- settings ---------------------------------------------------------------------------
  // Every option, the identifier lists, the thresholds and the server list to their defaults
  // (the second threshold list is empty by default).
  void defaults();
  void get_options(lib::options_list& list) override;
  void enum_values(lib::options_list& list) { get_options(list); }
  // Threshold lists and server list; loading then runs check() and fill_to_variables().
  // What loading had to skip or correct goes to the error sink.
  void load_additional_info(const lib::IniFile& ini) override;
  void save_additional_info(lib::IniFile& ini) const override;
  // "общий_вес_колонны_бв" of -1 takes "общий_вес_колонны"; "рот_имп_на_оборот" below 1
  // becomes 1.
  void check();
  // Sets "ves0" (the zero weight) and "KoefPolispast" (the block-and-tackle coefficient).
  void fill_to_variables() const;

  // Loads the settings from `path` at the station's start. Throws lib::IniError, naming the
  // file and the reason, when the file exists but cannot be read, holds no settings at all
  // (empty, or comments only) or is UTF-8 damaged by ill-formed bytes: starting on defaults
  // would hide the damage until a port or a sensor misbehaved. The options are then left as
  // they were and the file is not touched. Otherwise returns one message per thing the load
  // had to correct (file, section, key, the text found and the default used; dropped lines;
  // a conversion from CP1251; skipped threshold or server lines), for the error log and the
  // screen; while it runs, those corrections go only to the returned list, not to the sink.
  // A missing file gives the defaults and one message saying so.
  std::vector<std::string> load_for_start(const std::string& path, lib::FileSystem& fs);

  // Registers the bit-run record under "RaceInfoOld".
  void register_modules(lib::ModuleList& list);

  // ---- accessors for the calculations ------------------------------------------------------
  static void dril_types_to_strings(lib::StringContainer& list);
  void set_WKolRot(double weight) { recognition.column_weight = weight; }
  void set_WKolTur(double weight) { recognition.column_weight_no_rotation = weight; }
  double get_WKolRot() const { return recognition.column_weight; }
  double get_WKolTur() const { return recognition.column_weight_no_rotation; }
  // The current value of "ходы_насоса" followed by i + 1; 0 without a value reader.
  double get_nas(int i) const;
  // The current value of the rotary speed; 0 without a value reader.
  double get_rotor() const;
  // The depth-sensor coefficient for an operation: the tripping operations have their own
  // when "KoefD_advanced" is on, every other operation uses "коэффицент_ДОЛа".
  void set_KoefD(int operation, double koef);
  double get_KoefD(int operation) const;

  // ---- owned parts --------------------------------------------------------------------------
  // The list the alarm pass reads (module "MinMaxValues").
  alarms::MinMaxValues& min_max_values() { return *min_max_values_; }
  const alarms::MinMaxValues& min_max_values() const { return *min_max_values_; }
  alarms::MinMaxValues& min_max_values2() { return *min_max_values2_; }
  const alarms::MinMaxValues& min_max_values2() const { return *min_max_values2_; }
  wits::WITSReceiverOptions& wits_options() { return *wits_options_; }
  const wits::WITSReceiverOptions& wits_options() const { return *wits_options_; }
  calc::RaceInfoOld& race_info() { return *race_info_; }
  const calc::RaceInfoOld& race_info() const { return *race_info_; }

 private:
  double& koef_for(int operation);
  void report(const std::string& message) const;

  std::unique_ptr<alarms::MinMaxValues> min_max_values_;
  std::unique_ptr<alarms::MinMaxValues> min_max_values2_;
  std::unique_ptr<wits::WITSReceiverOptions> wits_options_;
  std::unique_ptr<calc::RaceInfoOld> race_info_;
  VariableSetter set_variable_;
  CurrentValueReader current_value_;
  ErrorSink error_sink_;
  calc::DepthCalc* depth_calc_ = nullptr;
  calc::VEmkOpts* tanks_ = nullptr;
  // Set while load_for_start runs: report() collects here instead of calling the sink.
  std::vector<std::string>* collected_ = nullptr;
};

// One line for the operator about a correction made while loading the settings file `path`.
std::string describe_option_issue(const std::string& path, const lib::OptionIssue& issue);

}  // namespace reg
