// reg::System, the hub: owns the station's modules, registers the persistent ones in the
// module list, saves and restores the whole state in "sys.bin", brackets a registration
// run and announces each completed data tick. The host drives the tick; the hub only fixes
// ownership, order, the state file, the bracket, the locks and the tick notification.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <boost/signals2/connection.hpp>

#include "calc/current_operation.h"
#include "core/error_log.h"
#include "core/host_parts.h"
#include "core/shared_values.h"
#include "lib/dicts_provider.h"
#include "lib/folder_watch.h"
#include "lib/lock_object.h"
#include "lib/mess_caller.h"
#include "lib/module_list.h"
#include "lib/plugin_loader.h"
#include "params/host_data.h"
#include "registry/values.h"

namespace calc {
class CalcValues;
class CalcValueTable;
class DepthCalc;
class Operations;
class RaceTotal;
class RaceSource;
}  // namespace calc
namespace candles {
class CandleCounter;
}
namespace ds_tmp {
class DataStorage;
class StorageValuesBackend;
}  // namespace ds_tmp
namespace params {
class AllParams;
}
namespace pore {
class PoreOpt;
class Wellbore;
}  // namespace pore
namespace text {
class Storage;
}
namespace hardware {
class CommProtocols;
class CommIncomData;
struct CommOutData;
}  // namespace hardware
namespace journals {
class MudAdditives;
class TroublesLog;
class MudLog;
}  // namespace journals

namespace alarms {
class MinMaxLog;
class Sound;
class VoiceThread;
}  // namespace alarms
namespace lib {
class AudioOutput;
}

namespace reg {

class GlobalNums;
class RegistrLogOld;
class Config;
class GlobalIni;
class RegPluginManager;

inline constexpr const char* kStateFileName = "sys.bin";
// The data version the state file's module list is written and read with.
inline constexpr unsigned kStateDataVersion = 1;

// The station's default time between two saves of the state file.
inline constexpr int kDefaultSavePeriodSeconds = 5;

// What loading the state file found, for the host to show the operator.
struct StateLoadReport {
  std::string path;
  bool found = false;    // the file existed
  bool refused = false;  // the file as a whole was not read (another file version, unreadable)
  std::string error;     // why it was refused
  lib::ModuleList::LoadReport blocks;
  // Values read whole but unusable (an operation the dictionary does not know), one
  // sentence each saying what replaced them.
  std::vector<std::string> corrected;
  // Where the original was copied because something in it was damaged or refused; empty
  // when no copy was needed.
  std::string kept_copy;
  // Why that copy could not be made; the hub then refuses to overwrite the file.
  std::string copy_error;

  bool newer() const { return !blocks.newer.empty(); }
  bool damaged() const { return refused || !blocks.clean() || !corrected.empty(); }
  // One line per fact, for the start summary: what was read, what was skipped, the copy.
  std::vector<std::string> notes() const;
};

struct SystemOptions {
  // The station home folder; empty means resolve_home_folder().
  std::string home_folder;
  lib::Clock* clock = nullptr;             // null: the system clock
  lib::FileSystem* file_system = nullptr;  // null: the real file system
  // How the device exchanges wait; empty: a real sleep. Tests with a fake clock advance it.
  std::function<void(int ms)> sleep = nullptr;
  // Where sounds and words are played; null: nowhere (silent).
  lib::AudioOutput* audio = nullptr;
  // A folder on a memory file system (the service's runtime folder) for the files of the
  // home rewritten all the time (see System::runtime_file). Empty: they stay in the home.
  std::string runtime_folder{};
};

class System {
 public:
  explicit System(SystemOptions options = {});
  ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // ---- the state file -------------------------------------------------------------------
  // Registers the persistent modules in the module list, in their fixed order.
  void register_modules();
  // Registers the hub's computed values ("ds.*" and the others) in the value registry.
  void fill_values_list();
  // Writes folder + "sys.bin" atomically; true when it was written. A failure goes to the
  // error log and last_save_error(), and leaves the previous file as it was. Refused while
  // a damaged file could not be kept aside (see load_from_file).
  bool save_to_file(const std::string& folder);
  const std::string& last_save_error() const { return last_save_error_; }
  // Reads folder + "sys.bin"; failures go to the error log and the report. Modules read
  // before a failure keep what they read; a damaged module block leaves its module
  // unchanged. When anything was damaged or refused (another file version, a block of a
  // newer layout) the original is first copied to "sys.bin.damaged-<yyyymmdd-hhmmss>"
  // beside it, so the next save cannot destroy what this program could not read.
  StateLoadReport load_from_file(const std::string& folder);
  // Removes temporary files that saves killed midway left in the home folder; returns their
  // names. Call only while holding the home (no other station saves there).
  std::vector<std::string> remove_save_leftovers();

  // Where to write a file of the home (`name` relative to it) that is rewritten every tick
  // or two and need not survive a reboot: in the runtime folder of the options, with the
  // home's path made a symbolic link to it, so readers of that path find it and the disk is
  // spared; the home's path itself when there is no runtime folder or it cannot be used
  // (reported as a start problem). A link already in place is kept. Write to the returned
  // path: an atomic replace of the link would put the file back on the disk.
  std::string runtime_file(const std::string& name);

  // ---- periodic saving --------------------------------------------------------------------
  // Time between two saves of the state into the home folder; 0 turns periodic saves off.
  void set_save_period_seconds(int seconds);
  // Asks for a save at the next save_when_due (after an operator's edit). Any thread.
  void request_save() { save_requested_ = true; }
  // Called by the host once per tick: saves the state into the home folder when a save was
  // requested or the period has passed since the last one (on the hub's clock). A state
  // that has not changed since the last save into the home is not written again (a disk
  // write every few seconds for nothing); it counts as saved. nullopt when nothing was due,
  // else whether the save succeeded.
  std::optional<bool> save_when_due();

  // Problems met while building the hub that the operator must hear about (a lock file
  // that cannot be opened); each is in the error log too.
  const std::vector<std::string>& start_problems() const { return start_problems_; }
  // Copies the state of every registered module of `other` into this hub. Both must have
  // the same modules registered.
  void assign(System& other);

  // ---- the registration bracket -----------------------------------------------------------
  // Sets the variable "race_num", tells the start listeners, raises the registration flag.
  void before_work(int race_num, bool continue_race, const std::string& text);
  void after_work(const std::string& text);
  bool get_reg_active() const { return reg_active_; }

  // Listeners told about the bracket, called under the system lock in connection order:
  // the run modules (reset on a new run) connect here. The plug-ins are told after them.
  using StartListener = std::function<void(int race_num, bool continue_race)>;
  using StopListener = std::function<void()>;
  boost::signals2::connection connect_before_work(StartListener listener);
  boost::signals2::connection connect_after_work(StopListener listener);

  // ---- the data tick ------------------------------------------------------------------------
  // Fires the data signal under the system lock. A subscriber that throws is logged and
  // the others still run. The built-in subscribers rewrite the shared-values file and read
  // again the journal files another program changed.
  void on_data();
  // Subscribes to the data signal; subscribers run in connection order.
  boost::signals2::connection connect_data(std::function<void()> slot);
  // Where the shared export takes its values; the data storage installs itself here.
  void set_shared_values_source(std::function<SharedValues()> source);
  // The source in use, so an owner can wrap it (and put it back).
  std::function<SharedValues()> shared_values_source() const;
  // Turns the shared export off and on (it is on after construction).
  void set_shared_export_enabled(bool enabled);

  // ---- plug-in events ----------------------------------------------------------------------
  // Each tells every plug-in in index order, under the system lock, through the manager's
  // shielded broadcast: a plug-in that throws is written to the error log and the others,
  // and the caller, carry on. The host calls them at these points:
  // After loading the plug-ins (init) and once the settings and the parameter table are read.
  void plugins_init();
  void plugins_after_config_loaded();
  // Before the station starts a new well.
  void plugins_before_new_pore();
  // A good reading came off the bus: the reading itself and the device type by bus address.
  void plugins_adc_data(hardware::CommIncomData& reading, std::map<int, int>& device_types);
  // The reading is converted into the rows' current values.
  void plugins_data();
  // The tick's calculations and averages are complete.
  void plugins_data_calc_completed();
  // Before the output is sent to consoles and indicators: plug-ins fill `out`.
  void plugins_prepare_indy_data(std::map<int, int>& device_types, hardware::CommOutData& out);
  // Tells every plug-in it is about to go (finalize), then unloads them all. The destructor
  // does it too when the host has not.
  void unload_plugins();

  // ---- the operation -------------------------------------------------------------------------
  // The operation under way as everything downstream sees it (the recorder's operation byte,
  // the plug-ins, the live view): the forced operation, sub-operation and work type where
  // forced, else the current ones, with the current production time. Any thread; takes the
  // system lock.
  calc::CurrentOperationItem effective_operation() const;
  // Told on the main thread, under the system lock, each time the forced operation changes
  // (set_forced_operation of the data storage), with the new forced operation, sub-operation
  // and work type. A subscriber that throws is logged and the others still run.
  using ForcedOperationListener = std::function<void(calc::OperType, int, calc::WorkType)>;
  boost::signals2::connection connect_forced_operation(ForcedOperationListener listener);
  // The operation dictionary; fixed for the life of the hub.
  const calc::Operations& operations() const { return *operations_; }

  // ---- the home folder and files ----------------------------------------------------------
  // The station home folder, with a trailing '/'.
  const std::string& get_exe_path() const { return exe_path_; }
  void fill_host_data(HostData& data) const;
  // Rebuilds the set of recording files in use from the installed source, lower-cased.
  void fill_cur_files_list();
  const std::set<std::string>& cur_files() const { return cur_files_; }
  void set_cur_files_source(std::function<std::vector<std::string>()> source);

  // ---- dictionaries -------------------------------------------------------------------------
  lib::DictsProvider* get_dicts_provider() const { return dicts_provider_.get(); }
  // Takes ownership; the previous provider is destroyed unless it is the same object.
  void set_new_dicts_provider(lib::DictsProvider* provider);
  void set_default_dicts_provider();
  lib::DictsProvider* get_instr_dicts_provider() const { return instr_dicts_provider_.get(); }
  void set_instr_dicts_provider(lib::DictsProvider* provider);
  void set_default_instr_dicts_provider();

  // ---- owned parts --------------------------------------------------------------------------
  // The parts a host works on, in one piece (core/host_parts.h).
  HostParts parts();
  ErrorLog& error_log() { return *error_log_; }
  lib::ModuleList& module_list() { return *module_list_; }
  lib::MessCaller& mess_caller() { return *mess_caller_; }
  Values& values() { return *values_; }
  // The plug-ins; before_work / after_work broadcast the registration bracket to them.
  RegPluginManager& plugins() { return *plugins_; }
  // The parameter catalogue of this station (its fast list comes from the home folder).
  params::AllParams& catalogue() { return *catalogue_; }
  Config& config() { return *config_; }
  GlobalIni& global_ini() { return *global_ini_; }
  GlobalNums& global_nums() { return *global_nums_; }
  ds_tmp::DataStorage& data_storage() { return *data_storage_; }
  pore::PoreOpt& pore_opt() { return *pore_opt_; }
  // The calculated values of each tick and the calculation objects they own: the tanks
  // with the pumps and the turbine, the depth sensor's calculator.
  calc::CalcValues& calc_values() { return *calc_values_; }
  // The depth sensor's calibration ("DepthCalc"), owned by the calculated values; its
  // settings load and save with the configuration's file.
  calc::DepthCalc& depth_calc();
  // Runs the calculated values over the current values (calc::CalcValues::calc_and_store)
  // with `time` (seconds) as the tick's time stamp. `row_current` tells which rows hold this
  // tick's reading (empty: all do). A failing calculation is logged; it never stops the tick.
  void calc_and_store(std::uint32_t time, std::function<bool(int row)> row_current = {});
  // The totals of the current bit run ("RaceTotal"): before_work clears and starts them for
  // a new run, after_work stops them; the host calls calculate() once a tick.
  calc::RaceTotal& race_total() { return *race_total_; }
  // The stand counter ("CandleCounter"), saved with the state; the host counts with it once
  // a tick (rig/stand_counting.h).
  candles::CandleCounter& candle_counter() { return *candle_counter_; }
  text::Storage& text_remarks() { return *text_remarks_; }
  journals::MudAdditives& mud_additives() { return *mud_additives_; }
  journals::TroublesLog& troubles_log() { return *troubles_log_; }
  journals::MudLog& mud_log() { return *mud_log_; }
  pore::Wellbore& wellbore() { return *wellbore_; }
  hardware::CommProtocols& comm_protocols() { return *comm_protocols_; }
  lib::lock_object& shared_file_lock() { return *shared_file_lock_; }
  lib::Clock& clock() { return clock_; }
  lib::FileSystem& file_system() { return fs_; }
  // The alarm pass over the configured thresholds; the host runs it each tick.
  alarms::MinMaxLog& min_max_log() { return *min_max_log_; }
  // The event log of relay switching and other crew events ("registr.events.log").
  RegistrLogOld& registr_log_old() { return *registr_log_old_; }
  // Where the alarm pass sends its phrases (the voice thread's alarm queue); none: dropped.
  // By default the voice thread's alarm queue, while the option "voice_alarms" is on, for
  // phrases whose word files all exist.
  using VoiceSink = std::function<void(const std::vector<std::string>& words)>;
  void set_alarm_voice(VoiceSink sink) { alarm_voice_ = std::move(sink); }
  // The sound slots and the voice; the voice speaks from "<home>voice/ru/" once started.
  alarms::Sound& sound() { return *sound_; }
  alarms::VoiceThread& voice_thread() { return *voice_thread_; }

  // Destroys the owned components in construction order; the destructor calls it.
  void free_objects();

 private:
  struct Signals;
  struct EditWatch;

  void export_shared_values();
  // Reads again each journal file another program changed since the journal last saw it.
  void check_journal_files();
  void report_start_problem(const std::string& message);
  // Hands the data storage the dictionary, the rows and queues its operation part needs.
  void wire_operations();
  // Creates a folder of the home; one that cannot be made is a start problem, `consequence`
  // tells the operator what the station goes without.
  void make_folder(const std::string& path, const char* consequence);
  // Writes the state into folder + "sys.bin" unless `unless_unchanged` and it equals what
  // the last save into the home wrote.
  bool save_state(const std::string& folder, bool unless_unchanged);

  lib::Clock& clock_;
  lib::FileSystem& fs_;
  std::string exe_path_;
  std::string runtime_folder_;

  // Owned components, in construction order.
  std::unique_ptr<Config> config_;
  std::unique_ptr<params::AllParams> catalogue_;
  std::unique_ptr<GlobalNums> global_nums_;
  std::unique_ptr<ds_tmp::DataStorage> data_storage_;
  std::unique_ptr<pore::PoreOpt> pore_opt_;
  std::unique_ptr<calc::CalcValues> calc_values_;
  std::unique_ptr<calc::CalcValueTable> calc_table_;
  std::unique_ptr<calc::RaceSource> race_source_;
  std::unique_ptr<calc::RaceTotal> race_total_;
  std::unique_ptr<candles::CandleCounter> candle_counter_;
  std::unique_ptr<text::Storage> text_remarks_;
  std::unique_ptr<ErrorLog> error_log_;
  std::unique_ptr<lib::ModuleList> module_list_;
  std::unique_ptr<lib::lock_object> shared_file_lock_;
  std::unique_ptr<SharedValuesWriter> shared_values_writer_;
  std::unique_ptr<hardware::CommProtocols> comm_protocols_;
  // The dynamic loader the plug-ins are opened with; it lists their folder through fs_.
  std::unique_ptr<lib::PluginLoader> plugin_loader_;
  std::unique_ptr<RegPluginManager> plugins_;
  std::unique_ptr<lib::DictsProvider> dicts_provider_;
  std::unique_ptr<lib::DictsProvider> instr_dicts_provider_;
  std::unique_ptr<journals::MudAdditives> mud_additives_;
  std::unique_ptr<journals::TroublesLog> troubles_log_;
  std::unique_ptr<journals::MudLog> mud_log_;
  std::unique_ptr<pore::Wellbore> wellbore_;
  std::unique_ptr<Values> values_;
  std::unique_ptr<ds_tmp::StorageValuesBackend> values_backend_;
  std::unique_ptr<GlobalIni> global_ini_;
  std::unique_ptr<calc::Operations> operations_;
  std::unique_ptr<lib::MessCaller> mess_caller_;
  std::unique_ptr<Signals> signals_;
  std::unique_ptr<RegistrLogOld> registr_log_old_;
  std::unique_ptr<alarms::MinMaxLog> min_max_log_;
  std::unique_ptr<lib::ModuleBaseOld> thresholds_state_;  // the list's block in sys.bin
  VoiceSink alarm_voice_;
  std::unique_ptr<lib::AudioOutput> own_audio_;  // the silent one, when none was given
  lib::AudioOutput* audio_ = nullptr;
  std::unique_ptr<alarms::Sound> sound_;
  std::unique_ptr<alarms::VoiceThread> voice_thread_;

  std::function<SharedValues()> shared_values_source_;
  bool shared_export_enabled_ = true;
  // The journals' folder's changes: the journal files are looked at when it saw one, and every
  // kJournalRecheckMs anyway (another machine's change on a network file system).
  std::unique_ptr<lib::FolderWatch> journal_watch_;
  std::int64_t journals_looked_ms_ = 0;
  bool journals_looked_ = false;
  static constexpr std::int64_t kJournalRecheckMs = 10'000;
  std::function<std::vector<std::string>()> cur_files_source_;
  std::set<std::string> cur_files_;
  bool reg_active_ = false;

  std::string last_save_error_;
  // Set when a damaged state file could not be copied aside: saving would destroy it.
  std::string save_refusal_;
  std::int64_t save_period_ms_ = std::int64_t{kDefaultSavePeriodSeconds} * 1000;
  std::optional<std::int64_t> last_save_ms_;
  std::string last_saved_state_;  // the bytes of the last save into the home
  std::atomic<bool> save_requested_{false};
  std::vector<std::string> start_problems_;
  std::unique_ptr<EditWatch> edit_watch_;
};

}  // namespace reg
