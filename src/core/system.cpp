#include "core/system.h"

#include <fcntl.h>
#include <boost/signals2/signal.hpp>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <mutex>
#include <unordered_map>

#include "alarms/min_max_log.h"
#include "alarms/sound.h"
#include "alarms/voice_thread.h"
#include "calc/calc_values.h"
#include "calc/candle_counter.h"
#include "calc/delayed_depth.h"
#include "calc/depth_calc.h"
#include "calc/operations.h"
#include "calc/race_info_old.h"
#include "calc/race_total.h"
#include "calc/tanks_format.h"
#include "core/config.h"
#include "core/config_global_ini.h"
#include "core/default_dicts_provider.h"
#include "core/locks.h"
#include "core/registr_log_old.h"
#include "core/shared_values_format.h"
#include "core/thresholds_state.h"
#include "hardware/comm_protocols.h"
#include "instr/instr_dicts_provider.h"
#include "journals/journal_files.h"
#include "journals/mud_additives.h"
#include "journals/mud_log.h"
#include "journals/text_storage.h"
#include "journals/troubles_log.h"
#include "lib/audio_output.h"
#include "lib/binary_stream.h"
#include "lib/home_folder.h"
#include "lib/ident.h"
#include "params/all_params.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "plugin_host/plugin_manager.h"
#include "pore/pore_opt.h"
#include "pore/well_values.h"
#include "pore/wellbore.h"
#include "storage/data_storage.h"
#include "storage/storage_values_backend.h"

namespace reg {
namespace {

// Runs every slot even when one throws, reporting the failure: one faulty subscriber
// (a plug-in, say) must not stop the rest of the tick.
struct GuardedCombiner {
  using result_type = void;
  std::function<void(const std::string&)> on_error;

  template <class It>
  void operator()(It first, It last) const {
    for (; first != last; ++first) {
      try {
        *first;
      } catch (const std::exception& e) {
        if (on_error) on_error(e.what());
      } catch (...) {
        if (on_error) on_error("unknown exception");
      }
    }
  }
};

const char* const kSaveError = "System::save_to_file : Ошибка записи в файл '";
const char* const kLoadError = "System::load_from_file : Ошибка чтения из файла '";
const char* const kVersionMismatch = "Не совпадает версия файла копии системы";

std::string failure_line(const char* prefix, const std::string& path, const char* what) {
  std::string line = prefix + path + "'";
  if (what != nullptr && *what != '\0') {
    line += ": ";
    line += what;
  }
  return line;
}

// The calculated values read and write the data storage's current values through this.
class StorageCalcTable : public calc::CalcValueTable {
 public:
  explicit StorageCalcTable(ds_tmp::DataStorage& ds) : ds_(ds) {}
  // A tick asks for the same forty names every second; searching a table of 512 rows for
  // each is most of the tick's cost. A found row is kept while the row still carries the same
  // identifier, which is compared again only when the table's revision moved; every answer is
  // dropped when the table's rows were replaced (loaded, edited). The names come in the same
  // order every pass: the answer is first looked for where the pass before had it, and hashed
  // only when the name there is another.
  int row_of(std::string_view identifier) const override {
    const params::ParTabl& table = ds_.par_tabl();
    const auto& rows = table.rows();
    if (rows.data() != cached_rows_ || rows.size() != cached_size_) {
      cache_.clear();
      order_.clear();
      cached_rows_ = rows.data();
      cached_size_ = rows.size();
    }
    Cache::value_type* entry = nullptr;
    if (next_ < order_.size() && order_[next_]->first == identifier) {
      entry = order_[next_];
    } else {
      auto it = cache_.find(identifier);
      if (it == cache_.end()) it = cache_.emplace(std::string(identifier), Found{}).first;
      entry = &*it;
      // Asked without a pass started, the order would grow without end: it is kept short.
      order_.resize(std::min(next_, order_.size()));
      if (order_.size() < kOrderKept) order_.push_back(entry);
    }
    ++next_;
    Found& found = entry->second;
    if (found.made && found.revision == table.revision()) return found.row;
    if (found.made && found.row < 0) return -1;
    if (found.made && static_cast<std::size_t>(found.row) < rows.size() &&
        rows[static_cast<std::size_t>(found.row)].identifier == found.identifier) {
      found.revision = table.revision();
      return found.row;
    }
    found.row = table.find_global(identifier);
    found.identifier =
        found.row < 0 ? std::string() : rows[static_cast<std::size_t>(found.row)].identifier;
    found.revision = table.revision();
    found.made = true;
    return found.row;
  }
  // A pass of the calculated values starts: its names come in the order of the pass before.
  void begin_pass() const { next_ = 0; }
  double value(int row) const override { return in_table(row) ? ds_.current_values()[row] : 0.0; }
  void set_value(int row, double value) override {
    if (in_table(row)) ds_.current_values()[row] = value;
  }
  double bit_depth() const override { return ds_.depth_cur(); }
  bool is_current(int row) const override { return !current_ || current_(row); }
  void set_current(std::function<bool(int)> current) { current_ = std::move(current); }

 private:
  std::function<bool(int)> current_;
  bool in_table(int row) const {
    return row >= 0 && row < ds_.par_tabl().get_items_count() && row < ds_tmp::kSlots;
  }
  ds_tmp::DataStorage& ds_;
  // Hashed: an ordered search compared each name with several others on every lookup.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>{}(name);
    }
  };
  struct Found {
    int row = -1;
    std::string identifier;      // the row's, when it was found
    std::uint64_t revision = 0;  // the table's, when the row last carried it
    bool made = false;           // looked up at least once
  };
  using Cache = std::unordered_map<std::string, Found, NameHash, std::equal_to<>>;
  mutable Cache cache_;
  // The entries in the order the last pass asked for them (a node's address stays while the
  // map holds it), and where the pass has got to.
  static constexpr std::size_t kOrderKept = 1024;
  mutable std::vector<Cache::value_type*> order_;
  mutable std::size_t next_ = 0;
  mutable const params::Param* cached_rows_ = nullptr;
  mutable std::size_t cached_size_ = 0;
};

// The run totals read the rig from the data storage: depths, the effective operation, the
// circulation flag and each catalogue parameter's average through its table row.
class StorageRaceSource : public calc::RaceSource {
 public:
  StorageRaceSource(ds_tmp::DataStorage& ds, const params::AllParams& catalogue,
                    const GlobalNums& nums, lib::Clock& clock)
      : ds_(ds), catalogue_(catalogue), nums_(nums), clock_(clock) {}

  double bit_depth() const override { return ds_.depth_cur(); }
  double bottom_depth() const override { return ds_.depth_z(); }
  std::int32_t operation() const override { return ds_.get_operation(); }
  bool circulation_on() const override { return ds_.circulation_on(); }
  int param_count() const override { return catalogue_.get_items_count(); }
  std::string_view param_identifier(int index) const override {
    return catalogue_.at(index).identifier;
  }
  // The rows of the catalogue's parameters, found again only when the table's identifiers
  // changed: a search of the table for each parameter on every tick would cost more than the
  // rest of the tick. The identifiers are compared only when the table's revision moved.
  void begin_tick() override {
    const std::uint64_t revision = ds_.par_tabl().revision();
    if (revision == revision_ &&
        row_of_.size() == static_cast<std::size_t>(catalogue_.get_items_count()))
      return;
    revision_ = revision;
    const auto& rows = ds_.par_tabl().rows();
    bool same = rows.size() == row_ids_.size();
    for (std::size_t r = 0; same && r < rows.size(); ++r) same = rows[r].identifier == row_ids_[r];
    if (same && row_of_.size() == static_cast<std::size_t>(catalogue_.get_items_count())) return;
    row_ids_.clear();
    for (const auto& row : rows) row_ids_.push_back(row.identifier);
    row_of_.assign(static_cast<std::size_t>(catalogue_.get_items_count()), -1);
    for (std::size_t i = 0; i < row_of_.size(); ++i)
      row_of_[i] = ds_.par_tabl().find_global(catalogue_.at(static_cast<int>(i)).identifier);
    next_with_row_.assign(row_of_.size() + 1, static_cast<int>(row_of_.size()));
    for (std::size_t i = row_of_.size(); i-- > 0;)
      next_with_row_[i] = row_of_[i] >= 0 ? static_cast<int>(i) : next_with_row_[i + 1];
  }
  int next_param(int index) const override {
    const auto i = static_cast<std::size_t>(index);
    return index >= 0 && i < next_with_row_.size() ? next_with_row_[i] : index;
  }
  bool param_average(int index, double& average) const override {
    const auto i = static_cast<std::size_t>(index);
    const int row = i < row_of_.size() ? row_of_[i] : -1;
    if (row < 0) return false;
    average = ds_[row];
    return true;
  }
  double inlet_flow() const override { return slot_average(GlobalNums::kRashodNaVhode); }
  double pump_strokes() const override { return slot_average(GlobalNums::kHodyNasosa); }
  std::int64_t now_seconds() const override { return clock_.local_now().seconds; }

 private:
  double slot_average(int slot) const {
    const int row = nums_[slot];
    return row < 0 ? 0.0 : ds_[row];
  }
  ds_tmp::DataStorage& ds_;
  const params::AllParams& catalogue_;
  const GlobalNums& nums_;
  lib::Clock& clock_;
  std::vector<std::string> row_ids_;
  std::vector<int> row_of_;
  // For each parameter, the first at or after it that has a row.
  std::vector<int> next_with_row_;
  std::uint64_t revision_ = 0;  // the table's, when row_of_ was last checked
};

}  // namespace

calc::DepthCalc& System::depth_calc() {
  return calc_values_->depth_calc();
}

void System::calc_and_store(std::uint32_t time, std::function<bool(int row)> row_current) {
  auto& table = static_cast<StorageCalcTable&>(*calc_table_);
  table.set_current(std::move(row_current));
  table.begin_pass();
  calc::CalcValuesData data;
  data.values = &table;
  data.global_nums = global_nums_.get();
  data.pore = pore_opt_.get();
  data.cavern_coeff = config_->race_info().get_kavern_koeff();
  data.extra_mud_volume = config_->other.extra_mud_volume;
  data.time = time;
  calc_values_->calc_and_store(data);
  table.set_current({});
}

struct System::Signals {
  using DataSignal = boost::signals2::signal<void(), GuardedCombiner>;
  using StartSignal = boost::signals2::signal<void(int, bool), GuardedCombiner>;
  using StopSignal = boost::signals2::signal<void(), GuardedCombiner>;
  using ForcedSignal =
      boost::signals2::signal<void(calc::OperType, int, calc::WorkType), GuardedCombiner>;

  explicit Signals(ErrorLog& log)
      : data(make("System::on_data", log)),
        start(make("System::before_work", log)),
        stop(make("System::after_work", log)),
        forced(make("System::forced_operation", log)) {}

  static GuardedCombiner make(std::string where, ErrorLog& log) {
    return GuardedCombiner{
        [where, &log](const std::string& what) { log.write(where + " : " + what); }};
  }

  DataSignal data;
  StartSignal start;
  StopSignal stop;
  ForcedSignal forced;
};

// An operator's edit of the journals kept in the state is saved at the next tick, not up to
// a whole period later.
struct System::EditWatch : journals::ITroublesNotifyHandler {
  explicit EditWatch(System& hub) : hub(hub) {}
  void record_added(const journals::TroublesLogRecord&) override { hub.request_save(); }
  void record_changed(const journals::TroublesLogRecord&) override { hub.request_save(); }
  void record_deleted(const journals::TroublesLogRecord&) override { hub.request_save(); }
  System& hub;
};

System::System(SystemOptions options)
    : clock_(options.clock ? *options.clock : lib::system_clock()),
      fs_(options.file_system ? *options.file_system : lib::posix_file_system()) {
  exe_path_ = options.home_folder.empty() ? lib::resolve_home_folder()
                                          : lib::with_trailing_slash(options.home_folder);
  runtime_folder_ = options.runtime_folder.empty()
                        ? std::string()
                        : lib::with_trailing_slash(options.runtime_folder);

  // The error log is made first here (it sits later in the order of ownership) so that
  // the modules built before it can report through it from the start.
  error_log_ = std::make_unique<ErrorLog>(clock_, fs_);
  config_ = std::make_unique<Config>();
  catalogue_ = std::make_unique<params::AllParams>(exe_path_, fs_);
  global_nums_ = std::make_unique<GlobalNums>();
  params::ParTablServices table_services;
  table_services.error_log = [this](const std::string& m) { error_log_->write(m); };
  table_services.fs = &fs_;
  data_storage_ = std::make_unique<ds_tmp::DataStorage>(*catalogue_, std::move(table_services));
  pore_opt_ = std::make_unique<pore::PoreOpt>();
  auto log_sink = [this](const std::string& m) { error_log_->write(m); };
  calc_values_ = std::make_unique<calc::CalcValues>();
  calc_values_->set_error_sink(log_sink);
  calc_table_ = std::make_unique<StorageCalcTable>(*data_storage_);
  config_->set_depth_calc(&calc_values_->depth_calc());
  config_->set_tanks(&calc_values_->tanks());
  race_source_ =
      std::make_unique<StorageRaceSource>(*data_storage_, *catalogue_, *global_nums_, clock_);
  race_total_ = std::make_unique<calc::RaceTotal>(race_source_.get());
  candle_counter_ = std::make_unique<candles::CandleCounter>();
  text_remarks_ = std::make_unique<text::Storage>(file_lock_obj(), log_sink, fs_);
  module_list_ = std::make_unique<lib::ModuleList>();

  values_ = std::make_unique<Values>(sys_lock_obj());
  values_backend_ = std::make_unique<ds_tmp::StorageValuesBackend>(*data_storage_);
  values_->set_backend(values_backend_.get());
  values_->set_error_sink(log_sink);
  global_ini_ = std::make_unique<GlobalIni>();
  config_->set_variable_setter(
      [this](const std::string& n, const std::string& v) { values_->set_variable(n, v); });
  config_->set_current_value_reader(
      [this](const std::string& name) { return data_storage_->current_values()[name]; });
  config_->set_error_sink([this](const std::string& m) { error_log_->write(m); });
  set_default_dicts_provider();
  set_default_instr_dicts_provider();
  mud_additives_ = std::make_unique<journals::MudAdditives>(log_sink, fs_);
  troubles_log_ = std::make_unique<journals::TroublesLog>(log_sink, fs_);
  mud_log_ = std::make_unique<journals::MudLog>(log_sink, fs_);
  wellbore_ = std::make_unique<pore::Wellbore>();
  edit_watch_ = std::make_unique<EditWatch>(*this);
  troubles_log_->add_notify_handler(edit_watch_.get());

  // The journal files of the home folder are the journals' one store, shared with the
  // rigstation tool and other programs: read now, rewritten on every change, read again
  // when another program changed them. The state file carries no journal records.
  make_folder(exe_path_ + journals::kJournalsFolder, "the journals are not saved");
  text_remarks_->set_file_name(journals::journal_path(exe_path_, journals::kRemarksFileName));
  troubles_log_->set_file_name(journals::journal_path(exe_path_, journals::kTroublesFileName));
  mud_log_->set_file_name(journals::journal_path(exe_path_, journals::kMudLogFileName));
  mud_additives_->set_file_name(journals::journal_path(exe_path_, journals::kMudAdditivesFileName));
  text_remarks_->set_keep_in_file(true);
  troubles_log_->set_keep_in_file(true);
  mud_log_->set_keep_in_file(true);
  mud_additives_->set_keep_in_file(true);
  text_remarks_->load_from_file();
  troubles_log_->load();
  mud_log_->load();
  mud_additives_->load();
  pore_opt_->options().set_variable_sink([this](const std::string& name, const std::string& value) {
    values_->set_variable(name, value);
  });
  error_log_->set_file(exe_path_ + kErrorLogFileName);

  // The inter-process lock of the shared export lives beside the file it guards.
  make_folder(exe_path_ + "data", "the shared values are not exported");
  shared_file_lock_ = std::make_unique<lib::lock_object>(lib::lock_object::kInterProcess,
                                                         exe_path_ + kvb::kLockFileName, fs_);
  if (!shared_file_lock_->has_file()) {
    report_start_problem("System : the lock file '" + shared_file_lock_->lock_file() +
                         "' cannot be opened (" + shared_file_lock_->file_error() + "); '" +
                         kvb::kFileName +
                         "' is written without the inter-process lock, so another program "
                         "may read it half-written");
  }
  shared_values_writer_ =
      std::make_unique<SharedValuesWriter>(runtime_file(kvb::kFileName), *shared_file_lock_, fs_);

  fill_values_list();
  set_shared_values_source([this] {
    auto& current = data_storage_->current_values();
    return SharedValues{data_storage_->depth_z(), data_storage_->depth_cur(),
                        current[kvb::kHookLoadParam], current[kvb::kBlockPositionParam],
                        current[kvb::kInletPressureParam]};
  });

  hardware::CommProtocolsEnv bus_env;
  bus_env.log = [this](std::string_view m, int level) {
    // Bus errors and warnings reach the error log; chattier lines stay in the packet log.
    if (level <= 1) error_log_->write(m);
  };
  bus_env.set_variable = [this](const std::string& n, const std::string& v) {
    values_->set_variable(n, v);
  };
  bus_env.set_configured_protocol = [this](std::int32_t id) { config_->link.pult_id = id; };
  bus_env.clock = &clock_;
  bus_env.file_system = &fs_;
  bus_env.sleep = options.sleep;
  bus_env.home_folder = exe_path_;
  comm_protocols_ = std::make_unique<hardware::CommProtocols>(hardware::CommProtocols::kStationMask,
                                                              std::move(bus_env));

  // The plug-in manager holds its place in the order of ownership, but is made once the
  // registry and the storage its host services reach exist.
  PluginStation station;
  station.lock = &sys_lock_obj();
  station.values = values_.get();
  // A plug-in may still call in while the hub is being torn down; the storage may be gone.
  station.table_has_param = [this](const std::string& name) {
    return data_storage_ && data_storage_->par_tabl().param_exists(name);
  };
  station.crush_flag = [this](const std::string& name) {
    return data_storage_ && data_storage_->crush_flags()[name] != 0;
  };
  station.reg_active = [this] { return reg_active_; };
  station.current_operation = [this] { return effective_operation(); };
  station.error_log = [this](const std::string& m) {
    if (error_log_) error_log_->write(m);
  };
  station.file_system = &fs_;
  plugin_loader_ = lib::make_system_plugin_loader(fs_);
  plugins_ = std::make_unique<RegPluginManager>(std::move(station), *plugin_loader_);

  mess_caller_ = std::make_unique<lib::MessCaller>();
  mess_caller_->set_error_handler([this](const std::string& m) { error_log_->write(m); });
  signals_ = std::make_unique<Signals>(*error_log_);
  operations_ = std::make_unique<calc::Operations>();
  wire_operations();
  registr_log_old_ = std::make_unique<RegistrLogOld>(clock_, fs_);
  registr_log_old_->set_file(exe_path_ + kEventLogFileName);
  alarms::MinMaxLogServices alarm_services;
  alarm_services.thresholds = &config_->min_max_values();
  alarm_services.storage = data_storage_.get();
  alarm_services.values = values_.get();
  alarm_services.use_pult_relay = [this] { return config_->link.use_pult_relay; };
  alarm_services.event_log = [this](const std::string& m) { registr_log_old_->add(m); };
  alarm_services.error_log = [this](const std::string& m) { error_log_->write(m); };
  alarm_services.voice_alarms = [this](const std::vector<std::string>& words) {
    if (alarm_voice_) alarm_voice_(words);
  };
  min_max_log_ = std::make_unique<alarms::MinMaxLog>(std::move(alarm_services), clock_);
  thresholds_state_ = std::make_unique<ThresholdsStateCopy>(config_->min_max_values());
  if (options.audio == nullptr) own_audio_ = lib::make_silent_audio_output();
  audio_ = options.audio ? options.audio : own_audio_.get();
  sound_ = std::make_unique<alarms::Sound>(exe_path_, *audio_, log_sink);
  voice_thread_ = std::make_unique<alarms::VoiceThread>(*audio_, clock_, fs_);
  voice_thread_->set_path(exe_path_ + "voice/ru/");
  alarm_voice_ = [this](const std::vector<std::string>& words) {
    if (config_->sound.voice_alarms) voice_thread_->process_alarms(words, true);
  };
  signals_->data.connect([this] { export_shared_values(); });
  // Each tick picks up what another program (the rigstation tool) wrote into a journal.
  signals_->data.connect([this] { check_journal_files(); });
  reg_active_ = false;
}

System::~System() {
  free_objects();
}

void System::wire_operations() {
  ds_tmp::OperationServices services;
  services.dictionary = operations_.get();
  services.global_nums = global_nums_.get();
  services.purpose = [this] { return config_->race_info().get_purpose(); };
  services.post_to_main_thread = [this](std::function<void()> task) {
    // The forced values are shared with every thread that reads the effective operation.
    const bool queued = mess_caller_->call([task = std::move(task)] {
      std::lock_guard guard(sys_lock_obj());
      task();
    });
    if (!queued) {
      error_log_->write("System : the main-thread queue is full (" +
                        std::to_string(mess_caller_->max_pending()) +
                        " tasks waiting); a change of the forced operation was dropped");
    }
    return queued;
  };
  services.forced_operation_changed = [this](calc::OperType oper, int suboper,
                                             calc::WorkType work) {
    if (signals_) signals_->forced(oper, suboper, work);
  };
  data_storage_->set_operation_services(std::move(services));
}

void System::report_start_problem(const std::string& message) {
  error_log_->write(message);
  start_problems_.push_back(message);
}

void System::make_folder(const std::string& path, const char* consequence) {
  if (lib::make_dirs(fs_, path)) return;
  report_start_problem("cannot create the folder '" + path + "': " + lib::errno_text(errno) + "; " +
                       consequence);
}

std::string System::runtime_file(const std::string& name) {
  const std::string home_path = exe_path_ + name;
  if (runtime_folder_.empty()) return home_path;
  const std::string target = runtime_folder_ + name.substr(name.rfind('/') + 1);
  if (!lib::make_dirs(fs_, runtime_folder_)) {
    report_start_problem("System : cannot create the folder '" + runtime_folder_ + "' for '" +
                         name + "': " + lib::errno_text(errno) +
                         "; it is written in the home, on the disk");
    return home_path;
  }
  if (fs_.read_link(home_path) == target) return target;
  // Made beside it and renamed over it, so a reader never finds the path missing.
  const std::string temporary = home_path + ".link";
  fs_.unlink(temporary);
  if (fs_.symlink(target, temporary) != 0 || fs_.rename(temporary, home_path) != 0) {
    const int err = errno;
    fs_.unlink(temporary);
    report_start_problem("System : '" + home_path + "' cannot be made a link to '" + target +
                         "': " + lib::errno_text(err) + "; it is written in the home, on the disk");
    return home_path;
  }
  return target;
}

void System::free_objects() {
  // Plug-ins hear finalize while everything they may reach still exists.
  if (plugins_) unload_plugins();
  // Construction order, except that the error log goes last: any module may still write
  // to it while it is torn down (a plug-in unloading, a subscriber of the data signal).
  // The registry's storage adapter is unhooked first, because the storage goes before the
  // registry.
  if (troubles_log_ && edit_watch_) troubles_log_->remove_notify_handler(edit_watch_.get());
  if (values_) values_->set_backend(nullptr);
  // The alarm pass refers to the configuration, the storage and the registry.
  min_max_log_.reset();
  thresholds_state_.reset();
  registr_log_old_.reset();
  // The voice thread stops and is waited for before the output it speaks on goes.
  voice_thread_.reset();
  sound_.reset();
  values_backend_.reset();
  config_.reset();
  global_nums_.reset();
  data_storage_.reset();
  catalogue_.reset();  // after the table that refers to it
  pore_opt_.reset();
  calc_table_.reset();
  calc_values_.reset();
  race_total_.reset();
  race_source_.reset();
  candle_counter_.reset();
  text_remarks_.reset();
  module_list_.reset();
  shared_values_writer_.reset();  // before the lock it writes under
  shared_file_lock_.reset();
  comm_protocols_.reset();
  // Unloads the plug-ins while the registry their values live in still exists.
  plugins_.reset();
  plugin_loader_.reset();
  values_.reset();
  global_ini_.reset();
  operations_.reset();
  dicts_provider_.reset();
  instr_dicts_provider_.reset();
  mud_additives_.reset();
  troubles_log_.reset();
  mud_log_.reset();
  wellbore_.reset();
  mess_caller_.reset();
  signals_.reset();
  error_log_.reset();
}

// ---- the state file ---------------------------------------------------------------------------

void System::register_modules() {
  // The fixed order of the state file; each subsystem takes its place as it joins the hub.
  lib::ModuleList& list = *module_list_;
  calc::CalcValues& calc = *calc_values_;
  list.register_module(*race_total_, "RaceTotal");
  list.register_module(calc.depth_calc(), "DepthCalc");
  list.register_module(*candle_counter_, "CandleCounter");
  list.register_module(calc.pumps(), calc::tanks_format::kPumpsModuleName);
  list.register_module(calc.turbine(), calc::tanks_format::kTurbineModuleName);
  list.register_module(calc.tanks(), calc::tanks_format::kTanksModuleName);
  list.register_module(*data_storage_, "DataStorage");
  list.register_module(data_storage_->average_values(), "AverageValues");
  list.register_module(data_storage_->delayed_depth(), "DelayedDepth");
  list.register_module(pore_opt_->options(), "PoreOpts");
  list.register_module(pore_opt_->construction(), "PoreConstr");
  list.register_module(*text_remarks_, "TextRemarks");
  // The thresholds in force are the settings file's; the state keeps a copy it never reads
  // back over them.
  list.register_module(*thresholds_state_, "MinMaxValues");
  list.register_module(*min_max_log_, "MinMaxLog");
  list.register_module(pore_opt_->instr(), "PromerInstr2");
  list.register_module(*mud_additives_, "MudAdditives");
  list.register_module(*mud_log_, "MudLog");
  list.register_module(*troubles_log_, "TroublesLog");
  list.register_module(pore_opt_->projected(), "ProjectWellbore");
  list.register_module(*wellbore_, "Inclination");
  config_->register_modules(list);
  // The parameter table lives only in its own file, which the user edits; a copy of its
  // rows in the state file could only disagree with it.
  list.retire(params::kRetiredParTablModuleName);
}

void System::fill_values_list() {
  ds_tmp::DataStorage* ds = data_storage_.get();
  pore::WellValueSources sources;
  sources.bit_depth = [ds] { return ds->depth_cur(); };
  sources.cavern_coeff = [this] { return config_->race_info().get_kavern_koeff(); };
  for (auto& v : pore::well_values(*pore_opt_, sources)) {
    values_->register_value(v.name, v.full_name, v.unit, v.type, std::move(v.getter));
  }
  candles::CandleCounter* candles = candle_counter_.get();
  values_->register_value("candles.value", "Количество свечей", "", kValueCount,
                          [candles] { return candles->get(); });
  values_->register_value("candles.pipe", "Количество трубок", "", kValueCount,
                          [candles] { return candles->get_pipe(); });
  values_->register_value("ds.depth_z", "Глубина забоя", "м", kValuePlain,
                          [ds] { return ds->depth_z(); });
  values_->register_value("ds.depth_cur", "Глубина инструмента", "м", kValuePlain,
                          [ds] { return ds->depth_cur(); });
  values_->register_value("ds.depth_lag", "Задержанная глубина", "м", kValuePlain,
                          [ds] { return ds->delayed_depth().get_value(); });
  values_->register_value("race.lag_time2", "Время до выхода метки", "", kValueShortInterval,
                          [ds] { return ds->delayed_depth().get_time_to_depth_out(); });
  // The run's times are in hours: one tick is one second.
  calc::RaceTotal* race = race_total_.get();
  auto hours = [](std::int32_t ticks) { return ticks / calc::RaceTotal::kTicksPerHour; };
  values_->register_value("race.prohodka", "Проходка за рейс", "м", kValuePlain,
                          [race] { return race->get_prohodka(); });
  values_->register_value("race.start", "Глубина начала рейса", "м", kValuePlain,
                          [race] { return race->get_race_start(); });
  values_->register_value("race.circ_time", "Время циркуляции", "", kValueRaceTime,
                          [race, hours] { return hours(race->circulation_ticks()); });
  values_->register_value("race.nasos_rastvor_volume", "V перекаченного р-ра", "м³", kValuePlain,
                          [race] { return race->get_nasos_rastvor_volume(); });
  values_->register_value("race.spo_time", "Время СПО", "", kValueRaceTime,
                          [race, hours] { return hours(race->tripping_ticks()); });
  values_->register_value("race.spo_up_time", "Время подъема инструмента", "", kValueRaceTime,
                          [race, hours] { return hours(race->tripping_shallower_ticks()); });
  values_->register_value("race.spo_down_time", "Время спуска инструмента", "", kValueRaceTime,
                          [race, hours] { return hours(race->tripping_deeper_ticks()); });
  values_->register_value("race.drill_time", "Время бурения", "", kValueRaceTime,
                          [race, hours] { return hours(race->drilling_ticks()); });
  values_->register_value("race.registr_time", "Время регистрации", "", kValueRaceTime,
                          [race, hours] { return hours(race->total_ticks()); });
  values_->register_value("race.prorab_time", "Время проработки", "", kValueRaceTime,
                          [race, hours] { return hours(race->reaming_ticks()); });
  values_->register_value("race.prom_time", "Время промывки", "", kValueRaceTime,
                          [race, hours] { return hours(race->flushing_ticks()); });
  values_->register_value("race.other_time", "Прочее время", "", kValueRaceTime,
                          [race, hours] { return hours(race->other_ticks()); });
  // The tanks' totals (after the run values).
  const calc::VEmkOpts* tanks = &calc_values_->tanks();
  values_->register_value("tanks.active_volume", "V р-ра в актив. ёмкостях", "м³", kValuePlain,
                          [tanks] { return tanks->get_active_tank_v(); });
  values_->register_value("tanks.doliv_volume", "V р-ра в долив. ёмкостях", "м³", kValuePlain,
                          [tanks] { return tanks->get_whole_doliv_v(); });
  values_->register_value("tanks.in_volume", "V р-ра в приёмных ёмкостях", "м³", kValuePlain,
                          [tanks] { return tanks->get_total_in_tank(); });
  values_->register_value("tanks.whole_volume", "V р-ра во всех ёмкостях", "м³", kValuePlain,
                          [tanks] { return tanks->get_whole_tank_v(); });
  Config* config = config_.get();
  values_->register_value("config.race_info.doloto_diametr", "Диаметр долота", "мм", kValuePlain,
                          [config] { return config->race_info().get_doloto_diametr(); });
  values_->register_value("config.race_info.kavern_koeff", "Коэффициент кавернозности", "",
                          kValuePlain, [config] { return config->race_info().get_kavern_koeff(); });
  values_->register_value("ds.depth_uz", "Над забоем", "м", kValuePlain,
                          [ds] { return ds->get_depth_uz(); });
  values_->register_value("config.w_kol", "Общий вес колонны", "т", kValuePlain,
                          [config] { return config->get_WKolRot(); });
  values_->register_value("config.w_kol_tur", "Общий вес колонны без вращения", "т", kValuePlain,
                          [config] { return config->get_WKolTur(); });
  // What the depth sensor's last table walk found; the unit field carries a short name.
  calc::DepthCalc* dol = &calc_values_->depth_calc();
  values_->register_value("dol.cnt", "ДОЛ импульсы", "ДОЛ имп", kValuePlain,
                          [dol] { return dol->last_pulses(); });
  values_->register_value("dol.tal_cnt", "ДОЛ таль импульсы", "ДОЛ т имп", kValuePlain,
                          [dol] { return dol->last_index(); });
  values_->register_value("dol.moveing", "ДОЛ перемещение", "ДОЛ пер", kValuePlain,
                          [dol] { return dol->last_travel(); });
  values_->register_value("dol.k", "ДОЛ коэффицент", "ДОЛ к", kValuePlain,
                          [dol] { return dol->last_coeff(); });
}

namespace {

// "sys.bin.damaged-20261205-100000" beside the state file, with "-2", "-3" ... when a copy
// of that second exists already.
std::string damaged_copy_path(const std::string& path, lib::Clock& clock, lib::FileSystem& fs) {
  // A clock outside the calendar still gets a copy, under a plain name.
  const lib::DateTimeParts t =
      lib::decode_date_time(lib::to_date_time(clock.local_now())).value_or(lib::DateTimeParts{});
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  const std::string base = path + ".damaged-" + stamp;
  std::string candidate = base;
  for (int n = 2;; ++n) {
    // Only a name the system says is free will do: one that merely could not be looked at
    // may be an earlier copy, which the new one must not replace.
    if (!fs.stat(candidate)) {
      if (errno == ENOENT || errno == ENOTDIR) return candidate;
      throw lib::io::StreamError("cannot tell whether '" + candidate +
                                 "' is taken: " + lib::errno_text(errno));
    }
    candidate = base + "-" + std::to_string(n);
  }
}

std::string join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& i : items) out += (out.empty() ? "" : ", ") + i;
  return out;
}

}  // namespace

std::vector<std::string> StateLoadReport::notes() const {
  std::vector<std::string> out;
  if (!found) {
    out.push_back("state: no saved state '" + path + "' yet; the station starts from defaults");
    return out;
  }
  if (refused) {
    out.push_back("state: '" + path + "' was not read (" + error +
                  "); every module starts from defaults");
  } else {
    std::string line =
        "state: read " + std::to_string(blocks.read) + " module(s) from '" + path + "'";
    if (blocks.damaged > 0 || blocks.truncated)
      line += "; " + std::to_string(blocks.damaged) + " damaged block(s) skipped" +
              (blocks.truncated ? ", the file is cut short" : "") +
              " (those modules keep their defaults; the error log names them)";
    out.push_back(line);
    if (newer())
      out.push_back("state: the state of " + join(blocks.newer) +
                    " was written by a newer program; not read, those modules keep their "
                    "defaults");
    for (const auto& c : corrected) out.push_back("state: " + c);
    if (!blocks.unknown.empty())
      out.push_back("state: kept the saved state of module(s) not loaded now (" +
                    join(blocks.unknown) + "); it is saved again unchanged");
  }
  if (!kept_copy.empty()) out.push_back("state: the original file is kept as '" + kept_copy + "'");
  if (!copy_error.empty())
    out.push_back("state: could not keep a copy of the original (" + copy_error +
                  "); the station will not overwrite '" + path + "'");
  return out;
}

bool System::save_to_file(const std::string& folder) {
  return save_state(folder, false);
}

bool System::save_state(const std::string& folder, bool unless_unchanged) {
  const std::string path = folder + kStateFileName;
  last_save_error_.clear();
  try {
    if (!save_refusal_.empty()) throw std::runtime_error(save_refusal_);
    lib::io::BinaryMemoryOutputStream out;
    lib::io::write_binary(out, module_list_->get_serial_version());
    module_list_->serialize(out, &sys_lock_obj(), kStateDataVersion);
    const bool home = folder == exe_path_;
    if (unless_unchanged && home && out.data() == last_saved_state_) return true;
    lib::write_file_atomically(path, out.data(), fs_);
    if (home) last_saved_state_ = out.data();
    return true;
  } catch (const std::exception& e) {
    last_save_error_ = failure_line(kSaveError, path, e.what());
  } catch (...) {
    last_save_error_ = failure_line(kSaveError, path, nullptr);
  }
  error_log_->write(last_save_error_);
  return false;
}

StateLoadReport System::load_from_file(const std::string& folder) {
  StateLoadReport report;
  report.path = folder + kStateFileName;
  const std::string& path = report.path;
  auto log = [&](const char* what) { error_log_->write(failure_line(kLoadError, path, what)); };

  std::optional<std::string> bytes;
  const int fd = fs_.open(path, O_RDONLY, 0);
  const int open_errno = errno;
  if (fd >= 0) {
    fs_.close(fd);
    report.found = true;
    bytes = lib::read_whole_file(path, fs_);
  } else if (open_errno != ENOENT) {
    report.found = true;  // there, but not readable
  }
  if (!report.found) {
    log(lib::errno_text(open_errno).c_str());
    return report;
  }
  if (!bytes) {
    report.refused = true;
    report.error = "cannot be read: " + lib::errno_text(fd >= 0 ? errno : open_errno);
    log(report.error.c_str());
    // What cannot be read cannot be copied either; overwriting it would lose it for good.
    report.copy_error = report.error;
    save_refusal_ = "the state file could not be read at start and is kept as it is";
    return report;
  }

  try {
    lib::io::BinaryMemoryInputStream in(*bytes);
    std::uint32_t version = 0;
    lib::io::read_binary(in, version);
    if (version != module_list_->get_serial_version()) throw std::runtime_error(kVersionMismatch);
    report.blocks = module_list_->deserialize(
        in, kStateDataVersion, [&](const std::string& problem) { log(problem.c_str()); },
        &sys_lock_obj());
    report.corrected = data_storage_->take_restore_problems();
    for (const auto& problem : report.corrected) log(problem.c_str());
  } catch (const std::exception& e) {
    report.refused = true;
    report.error = e.what();
    log(e.what());
  } catch (...) {
    report.refused = true;
    report.error = "unknown error";
    log(nullptr);
  }

  if (report.damaged()) {
    try {
      const std::string copy = damaged_copy_path(path, clock_, fs_);
      lib::write_file_atomically(copy, *bytes, fs_);
      report.kept_copy = copy;
      error_log_->write("System::load_from_file : the original '" + path + "' is kept as '" + copy +
                        "' before the next save replaces it");
    } catch (const std::exception& e) {
      report.copy_error = e.what();
      save_refusal_ = "the damaged state file could not be copied aside (" + report.copy_error +
                      ") and is kept as it is";
      error_log_->write(failure_line(kLoadError, path, save_refusal_.c_str()));
    }
  }
  return report;
}

std::vector<std::string> System::remove_save_leftovers() {
  return lib::remove_atomic_leftovers(exe_path_ + kStateFileName, fs_);
}

void System::set_save_period_seconds(int seconds) {
  save_period_ms_ = std::int64_t{seconds > 0 ? seconds : 0} * 1000;
}

std::optional<bool> System::save_when_due() {
  const std::int64_t now = clock_.steady_ms();
  if (!last_save_ms_) last_save_ms_ = now;  // the period counts from the first tick
  const bool requested = save_requested_.exchange(false);
  const bool period_over = save_period_ms_ > 0 && now - *last_save_ms_ >= save_period_ms_;
  if (!requested && !period_over) return std::nullopt;
  last_save_ms_ = now;
  return save_state(exe_path_, true);
}

void System::assign(System& other) {
  lib::io::BinaryMemoryOutputStream out;
  other.module_list().serialize(out, &sys_lock_obj(), kStateDataVersion);
  lib::io::BinaryMemoryInputStream in(out.data());
  module_list_->deserialize(
      in, kStateDataVersion,
      [&](const std::string& problem) { error_log_->write("System::assign : " + problem); },
      &sys_lock_obj());
  for (const auto& problem : data_storage_->take_restore_problems())
    error_log_->write("System::assign : " + problem);
}

// ---- the registration bracket -------------------------------------------------------------------

void System::before_work(int race_num, bool continue_race, const std::string& /*text*/) {
  std::lock_guard guard(sys_lock_obj());
  values_->set_variable("race_num", std::to_string(race_num));
  // A new run starts its lag depth at the bottom; a continued one keeps the marks on their way.
  if (!continue_race) data_storage_->delayed_depth().clear();
  // A new run counts its totals from here; a continued one goes on with what it has.
  if (!continue_race) {
    race_total_->clear_values();
    race_total_->start();
  }
  signals_->start(race_num, continue_race);
  // After the run modules were reset, so a plug-in starting a run sees fresh totals.
  plugins_->for_each([&](RegPlugin& p) { p.start_registration(race_num, continue_race); });
  reg_active_ = true;
}

void System::after_work(const std::string& /*text*/) {
  std::lock_guard guard(sys_lock_obj());
  race_total_->stop();
  signals_->stop();
  plugins_->for_each([](RegPlugin& p) { p.stop_registration(); });
  reg_active_ = false;
}

// ---- plug-in events -------------------------------------------------------------------------

void System::plugins_init() {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([](RegPlugin& p) { p.init(); });
}

void System::plugins_after_config_loaded() {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([](RegPlugin& p) { p.after_config_loaded(); });
}

void System::plugins_before_new_pore() {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([](RegPlugin& p) { p.before_new_pore(); });
}

void System::plugins_adc_data(hardware::CommIncomData& reading, std::map<int, int>& device_types) {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([&](RegPlugin& p) { p.adc_data(reading, device_types); });
}

void System::plugins_data() {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([](RegPlugin& p) { p.data(); });
}

void System::plugins_data_calc_completed() {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([](RegPlugin& p) { p.data_calc_completed(); });
}

void System::plugins_prepare_indy_data(std::map<int, int>& device_types,
                                       hardware::CommOutData& out) {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([&](RegPlugin& p) { p.prepare_indy_data(device_types, out); });
}

void System::unload_plugins() {
  std::lock_guard guard(sys_lock_obj());
  plugins_->for_each([](RegPlugin& p) { p.finalize(); });
  plugins_->free();
}

boost::signals2::connection System::connect_before_work(StartListener listener) {
  return signals_->start.connect(std::move(listener));
}

boost::signals2::connection System::connect_after_work(StopListener listener) {
  return signals_->stop.connect(std::move(listener));
}

// ---- the data tick
// --------------------------------------------------------------------------------

void System::on_data() {
  std::lock_guard guard(sys_lock_obj());
  signals_->data();
}

boost::signals2::connection System::connect_data(std::function<void()> slot) {
  return signals_->data.connect(std::move(slot));
}

void System::set_shared_values_source(std::function<SharedValues()> source) {
  std::lock_guard guard(sys_lock_obj());
  shared_values_source_ = std::move(source);
}

std::function<SharedValues()> System::shared_values_source() const {
  std::lock_guard guard(sys_lock_obj());
  return shared_values_source_;
}

void System::set_shared_export_enabled(bool enabled) {
  std::lock_guard guard(sys_lock_obj());
  shared_export_enabled_ = enabled;
}

void System::check_journal_files() {
  // One read of the folder watch a tick instead of a stat of each journal file.
  const std::int64_t now = clock_.steady_ms();
  const bool due = !journals_looked_ || now - journals_looked_ms_ >= kJournalRecheckMs ||
                   now < journals_looked_ms_;
  if (due) {
    journals_looked_ = true;
    journals_looked_ms_ = now;
    // Made before the files are looked at, so no change after this look goes unseen.
    if (!journal_watch_) journal_watch_ = fs_.watch_folder(exe_path_ + journals::kJournalsFolder);
    if (journal_watch_) journal_watch_->changed();
  } else if (journal_watch_ && !journal_watch_->changed()) {
    return;  // nothing in the folder changed; without a watch the files are looked at
  }
  // free_objects destroys the journals before the signals.
  if (text_remarks_) text_remarks_->check_file_changes();
  if (troubles_log_) troubles_log_->check_file_changes();
  if (mud_log_) mud_log_->check_file_changes();
  if (mud_additives_) mud_additives_->check_file_changes();
}

void System::export_shared_values() {
  if (!shared_export_enabled_) return;
  SharedValues values = shared_values_source_ ? shared_values_source_() : SharedValues{};
  // A file that cannot be written is skipped silently: the export is a courtesy to other
  // programs and must never disturb the tick.
  if (shared_values_writer_) shared_values_writer_->write(values);
}

// ---- the operation
// --------------------------------------------------------------------------------

HostParts System::parts() {
  return {*data_storage_, *config_,       *error_log_,      fs_,
          clock_,         *global_nums_,  *comm_protocols_, *min_max_log_,
          *sound_,        *voice_thread_, *module_list_,    *values_,
          *calc_values_,  *race_total_,   *candle_counter_, *operations_,
          *catalogue_,    *pore_opt_,     *text_remarks_,   exe_path_};
}

calc::CurrentOperationItem System::effective_operation() const {
  std::lock_guard guard(sys_lock_obj());
  // The storage may already be gone while a plug-in calls in during the teardown.
  return data_storage_ ? data_storage_->get_operation_ex() : calc::CurrentOperationItem{};
}

boost::signals2::connection System::connect_forced_operation(ForcedOperationListener listener) {
  return signals_->forced.connect(std::move(listener));
}

// ---- files and host data -----------------------------------------------------------------------

void System::fill_host_data(HostData& data) const {
  data.text = global_ini_->get_host_text();
  data.reg_active = reg_active_;
  hardware::CommProtocols* bus = comm_protocols_.get();
  data.adc_reader = [bus](int device, int channel) {
    return bus->get_last_adc_value(device, channel);
  };
}

void System::set_cur_files_source(std::function<std::vector<std::string>()> source) {
  cur_files_source_ = std::move(source);
}

void System::fill_cur_files_list() {
  cur_files_.clear();
  if (!cur_files_source_) return;
  for (const auto& name : cur_files_source_()) {
    if (!name.empty()) cur_files_.insert(lib::to_lower(name));
  }
}

// ---- dictionaries -------------------------------------------------------------------------------

void System::set_new_dicts_provider(lib::DictsProvider* provider) {
  if (provider == dicts_provider_.get()) return;
  dicts_provider_.reset(provider);
}

void System::set_default_dicts_provider() {
  set_new_dicts_provider(new DefaultDictsProvider);
}

void System::set_instr_dicts_provider(lib::DictsProvider* provider) {
  if (provider == instr_dicts_provider_.get()) return;
  instr_dicts_provider_.reset(provider);
}

void System::set_default_instr_dicts_provider() {
  // The drill-string editor's own kinds, with the general dictionaries behind them for its
  // other pick lists.
  set_instr_dicts_provider(new instr::InstrDictsProvider(std::make_unique<DefaultDictsProvider>()));
}

}  // namespace reg
