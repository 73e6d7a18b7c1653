#include "storage/real_time_file.h"

#include <fcntl.h>
#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "lib/ident.h"
#include "params/all_params.h"
#include "params/param.h"
#include "storage/data_storage.h"
#include "storage/real_time_format.h"

namespace rtf {
namespace {

// How long the idle writer waits before it looks at the queue again: the most a line queued
// within a tick (which wakes no one) waits for its write.
constexpr auto kIdleWait = std::chrono::milliseconds(50);
constexpr auto kRetryWait = std::chrono::milliseconds(10);
constexpr const char* kThreadCaller = "RealTimeFile::save_thread";
// The most queued tasks of one file written with one open and one append.
constexpr std::size_t kMaxTasksPerWrite = 256;
// The batch buffer is kept between writes up to this size (256 lines of 100 values take
// about 115 KiB); a larger one, from unusually long lines, is given back.
constexpr std::size_t kMaxKeptBatchBytes = std::size_t{1} << 20;

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string bare_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Metres to the millimetre, without trailing zeros ("1234.5", "1300").
std::string depth_text(double d) {
  std::string t = fmt::format("{:.3f}", d);
  while (!t.empty() && t.back() == '0') t.pop_back();
  if (!t.empty() && t.back() == '.') t.pop_back();
  return t == "-0" ? "0" : t;
}

std::vector<std::string> identifier_list(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(start, comma - start);
    const auto first = item.find_first_not_of(" \t");
    const auto last = item.find_last_not_of(" \t");
    if (first != std::string::npos) {
      out.push_back(lib::to_lower(item.substr(first, last - first + 1)));
    }
    start = comma + 1;
  }
  return out;
}

bool listed(const std::vector<std::string>& list, const std::string& identifier) {
  const std::string id = lib::to_lower(identifier);
  for (const std::string& item : list) {
    if (item == id) return true;
  }
  return false;
}

RecordedParam recorded(const params::Param& p) {
  return {p.full_name, p.unit, p.short_name, p.identifier, p.scale_min, p.scale_max};
}

// Why one write failed, for the log.
struct WriteFailure {
  std::string what;
};

}  // namespace

std::string run_number_text(int run) {
  std::string n = std::to_string(run);
  if (n.size() < static_cast<std::size_t>(kRunNumberDigits)) {
    n.insert(0, static_cast<std::size_t>(kRunNumberDigits) - n.size(), '0');
  }
  return n;
}

RunFileNames run_file_names(const std::string& folder, int run) {
  const std::string base = folder + run_number_text(run);
  return {base + kTimeSuffix, base + kDepthSuffix, base + kLagSuffix,  base + kRaceSuffix,
          base + kFastSuffix, base + kInstrSuffix, base + kPoreSuffix, folder + kFolderFile};
}

RealTimeFile::RealTimeFile(ds_tmp::DataStorage& storage, const params::AllParams& catalogue,
                           lib::FileSystem& fs, lib::Clock& clock, RealTimeFileServices services)
    : storage_(storage),
      catalogue_(catalogue),
      services_(std::move(services)),
      fs_(fs),
      clock_(clock),
      queue_(services_.max_queue_bytes) {
  clear_all_file_values();
}

RealTimeFile::~RealTimeFile() {
  stop_save_thread();
}

void RealTimeFile::calculate_file_names(const std::string& folder, int run) {
  names_ = run_file_names(folder, run);
}

// ---- queueing ---------------------------------------------------------------------------

bool RealTimeFile::queue_task(std::shared_ptr<const Records> task) {
  if (queue_.push(std::move(task))) {
    if (refused_in_series_ != 0) {
      log("Очередь записи снова принимает строки; не записано строк, пока она была полна: " +
          std::to_string(refused_in_series_));
      refused_in_series_ = 0;
    }
    return true;
  }
  if (refused_in_series_++ == 0) {
    log("Очередь записи полна (" + lib::byte_count_text(queue_.max_bytes()) +
        ", заданий: " + std::to_string(queue_.size()) + "): строка для файла '" + task->file +
        "' не записана; диск не принимает записи, новые строки теряются, пока очередь не "
        "освободится");
  }
  return false;
}

bool RealTimeFile::save_text_values(const std::string& file, const KeyValueList& list) {
  auto task = std::make_shared<Records>();
  task->file = file;
  try {
    task->records.push_back(std::make_shared<TextWriterRecord>(key_value_text(list)));
  } catch (const std::length_error& e) {
    log("Текст для файла '" + file + "' не записан: " + e.what());
    return false;
  }
  return queue_task(std::move(task));
}

bool RealTimeFile::save_text_values(const KeyValueList& list) {
  bool ok = true;
  for (const std::string* f : {&names_.time, &names_.depth, &names_.lag, &names_.fast}) {
    ok = save_text_values(*f, list) && ok;
  }
  return ok;
}

void RealTimeFile::save_begin_race_data(const std::string& file, const KeyValueList& header,
                                        bool without_start) {
  KeyValueList list = header;
  add_value_name(list, "глубинный_файл", bare_name(names_.depth));
  add_value_name(list, "временной_файл", bare_name(names_.time));
  add_value_name(list, "реальн_глубинный_файл", bare_name(names_.lag));
  if (!without_start) {
    add_value_name(list, "нач_глубина", depth_text(storage_.depth_z()));
    add_value_name(list, "нач_время", std::to_string(lib::get_local_time(clock_).seconds));
  }
  save_text_values(file, list);
}

void RealTimeFile::save_start_values(const KeyValueList& header, bool without_start) {
  for (const std::string* f : {&names_.time, &names_.depth, &names_.lag, &names_.fast}) {
    save_begin_race_data(*f, header, without_start);
  }
}

void RealTimeFile::save_end_race_data(const std::string& file) {
  if (!lib::exists(fs_, file)) return;
  KeyValueList list;
  add_value_name(list, "конеч_глубина", depth_text(storage_.depth_z()));
  add_value_name(list, "конеч_время", std::to_string(lib::get_local_time(clock_).seconds));
  save_text_values(file, list);
}

void RealTimeFile::save_end_values() {
  for (const std::string* f : {&names_.time, &names_.depth, &names_.lag, &names_.fast}) {
    save_end_race_data(*f);
  }
}

// ---- lines ------------------------------------------------------------------------------

namespace {
bool same_as_row(const RecordedParam& r, const params::Param& p) {
  return r.identifier == p.identifier && r.full_name == p.full_name && r.unit == p.unit &&
         r.short_name == p.short_name && r.scale_min == p.scale_min && r.scale_max == p.scale_max;
}
}  // namespace

void RealTimeFile::begin_tick(std::optional<std::uint64_t> table_version) {
  in_tick_ = true;
  tick_version_ = table_version;
  // A row count that moved is a change whatever the version says.
  table_checked_ =
      table_version && table_version == checked_version_ && current_params_ &&
      current_params_->size() == static_cast<std::size_t>(storage_.par_tabl().get_items_count());
  queue_.hold_wakeups();
}

void RealTimeFile::end_tick() {
  in_tick_ = false;
  table_checked_ = false;
  tick_version_.reset();
  queue_.release_wakeups();
}

ParamList RealTimeFile::current_params() {
  if (in_tick_ && table_checked_) return current_params_;
  table_checked_ = in_tick_;
  checked_version_ = in_tick_ ? tick_version_ : std::nullopt;
  const params::ParTabl& table = storage_.par_tabl();
  const int n = table.get_items_count();
  // Compared field by field in place: a copy of each row to compare with would cost four
  // strings a row for every line made.
  bool same = current_params_ && current_params_->size() == static_cast<std::size_t>(n);
  for (int i = 0; same && i < n; ++i) same = same_as_row((*current_params_)[i], table[i]);
  if (!same) {
    auto list = std::make_shared<std::vector<RecordedParam>>();
    list->reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) list->push_back(recorded(table[i]));
    current_params_ = std::move(list);
    current_indexes_ = catalogue_indexes(*current_params_);
  }
  return current_params_;
}

std::vector<int> RealTimeFile::catalogue_indexes(const std::vector<RecordedParam>& params) const {
  std::vector<int> out;
  out.reserve(params.size());
  for (const RecordedParam& p : params) out.push_back(catalogue_.get_param_number(p.identifier));
  return out;
}

const std::vector<int>& RealTimeFile::indexes_of(const ParamList& params) {
  // The lists are immutable: a list's indexes, once found, hold while it lives. The lines
  // of the live table share one list, the fast lines another, and a lag line usually
  // carries the table's list of when it was made.
  if (params == current_params_) return current_indexes_;
  if (params == fast_params_) return fast_indexes_;
  if (params != other_params_) {
    other_indexes_ = catalogue_indexes(*params);
    other_params_ = params;
  }
  return other_indexes_;
}

void RealTimeFile::feed_fast() {
  fast_set_.resize(static_cast<std::size_t>(catalogue_.get_items_count()));
  for (std::size_t i = 0; i < fast_params_->size(); ++i) {
    const int c = fast_indexes_[i];
    if (c < 0) continue;
    const int t = fast_rows_[i];
    fast_set_.items()[static_cast<std::size_t>(c)].feed(t < 0 ? 0 : storage_[t], fast_modes_[i]);
  }
}

const std::vector<RealTimeFile::CataloguedRow>& RealTimeFile::catalogued_rows() {
  const params::ParTabl& table = storage_.par_tabl();
  const auto& rows = table.rows();
  bool changed = false;
  // Within a tick, the list of the live table's parameters holds its identifiers: while it is
  // the list the rows were last checked against, none changed.
  if (in_tick_ && current_params() == row_ids_list_ && row_ids_.size() == rows.size() &&
      fast_rows_.size() == fast_params_->size()) {
    return catalogued_;
  }
  if (in_tick_) row_ids_list_ = current_params_;
  if (row_ids_.size() != rows.size()) {
    row_ids_.assign(rows.size(), std::nullopt);
    row_catalogue_.assign(rows.size(), -1);
    changed = true;
  }
  for (std::size_t t = 0; t < rows.size(); ++t) {
    if (row_ids_[t] && *row_ids_[t] == rows[t].identifier) continue;
    row_ids_[t] = rows[t].identifier;
    row_catalogue_[t] = catalogue_.get_param_number(rows[t].identifier);
    changed = true;
  }
  if (changed) {
    catalogued_.clear();
    for (std::size_t t = 0; t < rows.size(); ++t) {
      if (row_catalogue_[t] >= 0) {
        catalogued_.push_back({static_cast<int>(t), static_cast<std::size_t>(row_catalogue_[t])});
      }
    }
  }
  if (changed || fast_rows_.size() != fast_params_->size()) {
    // The rows of the fast parameters move only when an identifier in the table does.
    fast_rows_.clear();
    for (const RecordedParam& p : *fast_params_)
      fast_rows_.push_back(table.find_global(p.identifier));
  }
  return catalogued_;
}

void RealTimeFile::store_values_for_file() {
  // The rows' catalogue indexes are checked against the table once a tick, for all sets.
  const std::vector<CataloguedRow>& catalogued = catalogued_rows();
  const auto n = static_cast<std::size_t>(catalogue_.get_items_count());
  const bool depth_on = storage_.depth_file_on();
  time_set_.resize(n);
  if (depth_on) depth_set_.resize(n);
  lag_set_.resize(n);
  // One walk over the rows feeds every set: each row's value and store mode are read once.
  FileStoredValue* time = time_set_.items().data();
  FileStoredValue* depth = depth_on ? depth_set_.items().data() : nullptr;
  FileStoredValue* lag = lag_set_.items().data();
  const std::vector<params::Param>& rows = storage_.par_tabl().rows();
  for (const CataloguedRow& r : catalogued) {
    const std::size_t at = r.catalogue;
    const double v = storage_[r.row];
    const std::uint8_t mode = rows[static_cast<std::size_t>(r.row)].attribute;
    time[at].feed(v, mode);
    if (depth) depth[at].feed(v, mode);
    lag[at].feed(v, mode);
  }
  feed_fast();
}

std::uint8_t RealTimeFile::effective_operation() const {
  return static_cast<std::uint8_t>(storage_.get_operation());
}

bool RealTimeFile::make_line(FileStoredValues& set, const ParamList& params, float first,
                             float third, std::uint8_t operation, ValuesLine& line) {
  const lib::LocalTime now = lib::get_local_time(clock_);
  return set.calculate_save_values(
      line, indexes_of(params), first, static_cast<float>(storage_.depth_cur()), third, operation,
      static_cast<std::uint32_t>(now.seconds), static_cast<std::uint8_t>(now.milliseconds / 10));
}

std::shared_ptr<const ValuesWriterRecord> RealTimeFile::queue_line(const std::string& file,
                                                                   ValuesLine&& line,
                                                                   const ParamList& params) {
  auto record = std::make_shared<const ValuesWriterRecord>(std::move(line), params);
  auto task = std::make_shared<Records>();
  task->file = file;
  task->records.push_back(record);
  queue_task(std::move(task));
  // Kept by the caller: the writer may have written and dropped the task already.
  return record;
}

void RealTimeFile::announce(const std::vector<LineReceiver>& receivers, const char* name,
                            const ParamList& params, const ValuesLine& line) {
  (void)name;
  for (const LineReceiver& r : receivers) {
    r(params, line.first_depth, line.bit_depth, line.third_depth, line.operation, line.values);
  }
}

namespace {
// Runs a producer; what it throws is logged under the signal's name and the tick goes on.
template <class F>
void guarded(const std::function<void(const std::string&)>& log, const char* name, F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    if (log) log(std::string("Ошибка в ") + name + " : " + e.what());
  } catch (...) {
    if (log) log(std::string("Ошибка в ") + name);
  }
}
}  // namespace

void RealTimeFile::save_time_values() {
  guarded(services_.log, "on_save_time_data", [&] {
    const ParamList params = current_params();
    ValuesLine line;
    const auto lag = static_cast<float>(storage_.delayed_depth().get_value());
    if (!make_line(time_set_, params, static_cast<float>(storage_.depth_z()), lag,
                   effective_operation(), line)) {
      return;
    }
    const auto record = queue_line(names_.time, std::move(line), params);
    announce(on_save_time_data, "on_save_time_data", params, record->line());
  });
}

void RealTimeFile::save_depth_values(float depth, std::int32_t delay,
                                     std::optional<double> remaining) {
  guarded(services_.log, "on_save_depth_data", [&] {
    if (depth_set_.empty()) return;
    const ParamList params = current_params();
    ValuesLine line;
    const auto lag = static_cast<float>(storage_.delayed_depth().get_value());
    if (!make_line(depth_set_, params, depth, lag, effective_operation(), line)) return;
    const auto record = queue_line(names_.depth, std::move(line), params);
    announce(on_save_depth_data, "on_save_depth_data", params, record->line());

    LagFileStoredLine waiting;
    waiting.depth = depth;
    waiting.remaining = remaining.value_or(depth);
    waiting.delay = delay;
    waiting.params = params;
    // The values just written: each is its accumulator's last value (0 for a parameter the
    // catalogue lacks).
    const std::vector<float>& written = record->line().values;
    waiting.values.assign(written.begin(), written.end());
    lag_lines_.push_back(std::move(waiting));
  });
}

void RealTimeFile::save_lag_depth_values(const std::string& arrival_list,
                                         const std::string& live_list, float advance) {
  guarded(services_.log, "on_save_lag_data", [&] {
    // The lists come the same every tick: parsed again only when they change.
    if (arrival_list != arrival_text_) {
      arrival_ = identifier_list(arrival_list);
      arrival_text_ = arrival_list;
      arrival_flags_list_.reset();
    }
    if (live_list != live_text_) {
      live_ = identifier_list(live_list);
      live_text_ = live_list;
    }
    const auto& arrival = arrival_;
    const auto& live = live_;
    const bool circulating = storage_.circulation_on();
    for (LagFileStoredLine& l : lag_lines_) {
      if (!circulating) {
        if (l.remaining <= 0 && l.delay != 0) --l.delay;
        continue;
      }
      if (l.remaining <= 0) {
        if (l.delay != 0) --l.delay;
      } else {
        l.remaining = static_cast<float>(l.remaining) - advance;
      }
      if (l.remaining <= 0 && !l.arrived) {
        // Which parameters of the line's list are in the arrival list, found once per list.
        if (l.params != arrival_flags_list_) {
          arrival_flags_.assign(l.params->size(), 0);
          for (std::size_t i = 0; i < l.params->size(); ++i) {
            arrival_flags_[i] = listed(arrival, (*l.params)[i].identifier) ? 1 : 0;
          }
          arrival_flags_list_ = l.params;
        }
        const std::vector<int>& indexes = indexes_of(l.params);
        for (std::size_t i = 0; i < l.params->size(); ++i) {
          if (!arrival_flags_[i]) continue;
          const int c = indexes[i];
          if (c >= 0 && static_cast<std::size_t>(c) < depth_set_.items().size()) {
            l.values[i] = depth_set_.items()[static_cast<std::size_t>(c)].last;
          }
        }
        l.arrived = true;
      }
    }
    if (lag_lines_.empty()) return;
    LagFileStoredLine& oldest = lag_lines_.front();
    if (!(oldest.remaining <= 0 && oldest.delay < 1)) return;
    lag_set_.resize(static_cast<std::size_t>(catalogue_.get_items_count()));
    const std::vector<int>& oldest_indexes = indexes_of(oldest.params);
    for (std::size_t i = 0; i < oldest.params->size(); ++i) {
      const std::string& id = (*oldest.params)[i].identifier;
      const int c = oldest_indexes[i];
      if (c < 0 || (!live.empty() && listed(live, id))) continue;
      FileStoredValue& v = lag_set_.items()[static_cast<std::size_t>(c)];
      v.sum = oldest.values[i];
      v.count = 1;
    }
    const ParamList params = oldest.params;
    const auto depth = static_cast<float>(oldest.depth);
    lag_lines_.pop_front();
    ValuesLine line;
    if (!make_line(lag_set_, params, depth, depth, effective_operation(), line)) return;
    const auto record = queue_line(names_.lag, std::move(line), params);
    announce(on_save_lag_data, "on_save_lag_data", params, record->line());
  });
}

void RealTimeFile::flash_lag_data(bool wait) {
  if (lag_lines_.empty()) return;
  constexpr std::uint8_t kDrilling = 2;
  auto task = std::make_shared<Records>();
  task->file = names_.lag;
  lag_set_.resize(static_cast<std::size_t>(catalogue_.get_items_count()));
  for (const LagFileStoredLine& l : lag_lines_) {
    const std::vector<int>& indexes = indexes_of(l.params);
    for (std::size_t i = 0; i < l.params->size(); ++i) {
      const int c = indexes[i];
      if (c < 0) continue;
      FileStoredValue& v = lag_set_.items()[static_cast<std::size_t>(c)];
      v.sum = l.values[i];
      v.count = 1;
    }
    ValuesLine line;
    const auto depth = static_cast<float>(l.depth);
    if (make_line(lag_set_, l.params, depth, depth, kDrilling, line)) {
      task->records.push_back(std::make_shared<ValuesWriterRecord>(std::move(line), l.params));
    }
  }
  lag_lines_.clear();
  queue_task(std::move(task));
  if (wait && save_thread_running()) queue_.wait_until_empty(std::chrono::seconds(60));
}

std::size_t RealTimeFile::drop_lag_lines_if(const std::function<bool(double depth)>& written) {
  const std::size_t before = lag_lines_.size();
  std::erase_if(lag_lines_, [&written](const LagFileStoredLine& l) { return written(l.depth); });
  return before - lag_lines_.size();
}

void RealTimeFile::add_owed_lag_line(LagFileStoredLine line) {
  const auto at = std::upper_bound(
      lag_lines_.begin(), lag_lines_.end(), line.depth,
      [](double depth, const LagFileStoredLine& waiting) { return depth < waiting.depth; });
  lag_lines_.insert(at, std::move(line));
}

void RealTimeFile::save_fast_file() {
  guarded(services_.log, "save_fast_file", [&] {
    ValuesLine line;
    const auto lag = static_cast<float>(storage_.delayed_depth().get_value());
    if (!make_line(fast_set_, fast_params_, static_cast<float>(storage_.depth_z()), lag,
                   effective_operation(), line)) {
      return;
    }
    queue_line(names_.fast, std::move(line), fast_params_);
  });
}

void RealTimeFile::clear_all_file_values() {
  time_set_.clear();
  depth_set_.clear();
  lag_set_.clear();
  fast_set_.clear();
  if (!fast_params_) {
    auto list = std::make_shared<std::vector<RecordedParam>>();
    fast_modes_.clear();
    for (const char* id : kFastParams) {
      const int c = catalogue_.get_param_number(id);
      if (c >= 0) {
        const params::DefaultParam& d = catalogue_.at(c);
        list->push_back(
            {d.full_name, d.unit, d.short_name, d.identifier, d.scale_min, d.scale_max});
        fast_modes_.push_back(d.attribute);
      } else {
        list->push_back({});  // a blank parameter the catalogue lacks: written as 0
        fast_modes_.push_back(kStoreMean);
      }
    }
    fast_params_ = std::move(list);
    fast_indexes_ = catalogue_indexes(*fast_params_);
    fast_rows_.clear();
  }
}

void RealTimeFile::serialize_state(lib::serial_list& list, unsigned version) {
  if (version != kStateVersion) return;
  time_set_.serialize(list);
  depth_set_.serialize(list);
  lag_set_.serialize(list);
  fast_set_.serialize(list);
  auto n = static_cast<std::uint32_t>(lag_lines_.size());
  list.add(n);
  if (list.reading()) {
    // A line takes at least 28 bytes (two depths, two counts, the delay); a line of no
    // parameters is that small, and a state that holds one must read back.
    if (n > list.input()->remaining() / 28) {
      throw lib::io::StreamError("the state's " + std::to_string(n) +
                                 " waiting lag lines do not fit the data left");
    }
    std::deque<LagFileStoredLine> read(n);
    for (LagFileStoredLine& l : read) l.serialize(list);
    lag_lines_ = std::move(read);
  } else {
    for (LagFileStoredLine& l : lag_lines_) l.serialize(list);
  }
}

// ---- writing ----------------------------------------------------------------------------

bool RealTimeFile::save_values_asynch(const Records& task, std::string_view caller) {
  return write_tasks({&task}, caller) == 1;
}

std::size_t RealTimeFile::write_oldest(std::string_view caller) {
  // Both lists keep their capacity from batch to batch. The batch holds its own references,
  // so the tasks taken off the queue are freed here, outside the queue's lock.
  queue_.oldest_of_one_file(kMaxTasksPerWrite, batch_tasks_);
  if (batch_tasks_.empty()) return 0;
  batch_plain_.clear();
  for (const auto& t : batch_tasks_) batch_plain_.push_back(t.get());
  const std::size_t done = write_tasks(batch_plain_, caller);
  queue_.pop_oldest(done);
  batch_plain_.clear();
  batch_tasks_.clear();
  return done;
}

std::size_t RealTimeFile::write_tasks(const std::vector<const Records*>& tasks,
                                      std::string_view caller) {
  const std::string& file = tasks.front()->file;
  ValuesWriterDequeFileData data = queue_.file_data(file);

  // The blocks are assembled first: a task that cannot be encoded can never be written,
  // and must not hold up the tasks behind it.
  // The whole batch goes into one buffer and leaves with one write.
  auto assemble = [&](bool need_header, std::string& out) {
    out.clear();
    if (need_header) append_version_block(out);
    for (const Records* task : tasks) {
      for (const auto& record : task->records) {
        if (!need_header) need_header = record->check(data);
        if (need_header) {
          if (ParamList params = record->get_provider()) {
            data.params_check = append_params_block(out, *params);
            data.params = std::move(params);
            need_header = false;
          }
        }
        record->append(out, data.params_check);
      }
    }
  };

  int fd = -1;
  try {
    const std::string marker = folder_of(file) + kNoLockingMarker;
    if (!lib::exists(fs_, marker)) {
      const int m = fs_.open(marker, O_WRONLY | O_CREAT, 0644);
      if (m < 0) throw WriteFailure{"не создан '" + marker + "': " + lib::errno_text(errno)};
      fs_.close(m);
    }
    fd = fs_.open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) throw WriteFailure{"не открыт: " + lib::errno_text(errno)};
    const auto before = fs_.fstat(fd);
    if (!before) throw WriteFailure{"не прочитано состояние: " + lib::errno_text(errno)};
    const bool need_header = before->size == 0 || !data.written ||
                             before->modified_ns != data.modified_ns || before->size != data.size ||
                             before->inode != data.inode;
    // Kept between batches: its capacity is reused, so a batch costs no allocation.
    std::string& out = batch_;
    try {
      assemble(need_header, out);
    } catch (const std::exception& e) {
      fs_.close(fd);
      // One of them can never be written: find it by writing them one by one.
      if (tasks.size() > 1) return write_tasks({tasks.front()}, caller);
      log("Запись в файл '" + file + "' (" + std::string(caller) + ") отброшена: " + e.what());
      return 1;
    }
    if (!lib::write_all(fs_, fd, out.data(), out.size())) {
      const int err = errno;
      // Nothing of a failed task may stay: the retry appends it whole.
      // The cut moves the file's time: remember it as the writer's own, or the retry would
      // take the file for one written behind its back.
      const auto cut = fs_.ftruncate(fd, before->size) == 0 ? fs_.fstat(fd) : std::nullopt;
      ValuesWriterDequeFileData kept = queue_.file_data(file);
      if (cut && kept.written && kept.size == before->size &&
          kept.modified_ns == before->modified_ns && kept.inode == before->inode) {
        kept.modified_ns = cut->modified_ns;
        kept.inode = cut->inode;
        queue_.set_file_data(file, std::move(kept));
      } else if (!cut) {
        queue_.forget_file(file);
      }
      throw WriteFailure{"не записано " + lib::byte_count_text(out.size()) + ": " +
                         lib::errno_text(err)};
    }
    const auto after = fs_.fstat(fd);
    fs_.close(fd);
    fd = -1;
    if (batch_.capacity() > kMaxKeptBatchBytes) std::string().swap(batch_);
    data.written = after.has_value();
    if (after) {
      data.modified_ns = after->modified_ns;
      data.size = after->size;
      data.inode = after->inode;
    }
    queue_.set_file_data(file, std::move(data));
    if (services_.written) {
      for (const Records* task : tasks) services_.written(*task);
    }
  } catch (const WriteFailure& f) {
    if (fd >= 0) fs_.close(fd);
    ++failures_;
    if (failing_file_ != file) {
      failing_file_ = file;
      log("Ошибка записи в файл '" + file + "' (" + std::string(caller) + "): " + f.what +
          "; запись остаётся в очереди и повторяется каждые 10 мс");
    }
    return 0;
  }
  if (!failing_file_.empty()) {
    log("Запись в файл '" + failing_file_ + "' возобновлена после " + std::to_string(failures_) +
        " неудачных попыток");
    failing_file_.clear();
    failures_ = 0;
  }
  return tasks.size();
}

std::size_t RealTimeFile::write_pending() {
  std::size_t written = 0;
  while (const std::size_t n = write_oldest("RealTimeFile::write_pending")) written += n;
  return written;
}

void RealTimeFile::start_save_thread() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) { save_thread(stop); });
}

void RealTimeFile::stop_save_thread() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  thread_ = std::jthread();
  if (const std::size_t left = queue_.size(); left != 0) {
    log("Поток записи остановлен, не записано заданий: " + std::to_string(left) +
        " (последняя ошибка записи: файл '" + failing_file_ + "')");
  }
}

void RealTimeFile::save_thread(std::stop_token stop) {
  for (;;) {
    if (queue_.size() == 0) {
      if (stop.stop_requested()) return;
      queue_.wait_for_task(stop, kIdleWait);
      continue;
    }
    if (write_oldest(kThreadCaller) != 0) continue;
    if (stop.stop_requested()) return;
    queue_.wait_or_stop(stop, kRetryWait);
  }
}

}  // namespace rtf
