// RealTimeFile: the recorder of a bit run. It names the run's files, queues whole blocks for
// them on the caller's thread and writes them on its own writer thread, the only thread that
// touches the files, so the station's tick never waits for the disk.
//
// Files and blocks: real_time_format.h, docs/real-time-files.md.
//
// Threads: the producers (queueing, file names, the header and trailer texts) run on the
// station's main thread; the writer thread runs between start_save_thread and
// stop_save_thread and shares only the queue (which has its own lock) with them. The log
// sink is called from both threads and must be thread-safe.
//
// Faults: a write the file system refuses (full disk, read-only or missing folder, a short
// write) appends nothing: what was appended of the task is cut off again, the task stays
// first in the queue and is tried again every 10 ms; the first failure of a series and the
// recovery are logged with the file and the reason. Should the cut fail too, the writer
// forgets what it knew of the file, so its next write starts with a version block that a
// reader finds its way back on.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/serial_list.h"
#include "storage/file_stored_values.h"
#include "storage/real_time_records.h"
#include "storage/values_writer_deque.h"

namespace ds_tmp {
class DataStorage;
}
namespace params {
class AllParams;
}

namespace rtf {

struct RealTimeFileServices {
  // Failures and recoveries of the writer, and refusals of a full queue; may be empty.
  std::function<void(const std::string&)> log;
  std::size_t max_queue_bytes = kDefaultMaxQueueBytes;
  // Told on the writer's thread of each task once it is in its file; may be empty.
  std::function<void(const Records&)> written;
};

// The names of a run's files.
struct RunFileNames {
  std::string time, depth, lag, race, fast, instr, pore, folder;
};

// The fast file's parameters, in this order.
inline constexpr const char* kFastParams[] = {"вес_на_крюке", "давление_на_входе", "момент_ротора",
                                              "нагрузка", "тальблок"};

// Told of each time, depth and lag line as it is queued: its parameters, first depth, bit
// depth, third depth, operation byte and values. Runs on the producer's thread.
using LineReceiver = std::function<void(const ParamList&, float, float, float, std::uint8_t,
                                        const std::vector<float>&)>;

// The run number padded with zeros to four digits ("0007", "12345").
std::string run_number_text(int run);
// The files of run `run` in `folder` (a path ending with its separator).
RunFileNames run_file_names(const std::string& folder, int run);

class RealTimeFile {
 public:
  // The storage, the catalogue, the file system and the clock must outlive the recorder.
  RealTimeFile(ds_tmp::DataStorage& storage, const params::AllParams& catalogue,
               lib::FileSystem& fs, lib::Clock& clock, RealTimeFileServices services = {});
  ~RealTimeFile();  // stops the writer thread, writing what is queued
  RealTimeFile(const RealTimeFile&) = delete;
  RealTimeFile& operator=(const RealTimeFile&) = delete;

  // ---- files ------------------------------------------------------------------------------
  void calculate_file_names(const std::string& folder, int run);
  const RunFileNames& file_names() const { return names_; }

  // ---- queueing (main thread) -----------------------------------------------------------
  // Queues a task; false when the queue is full (the task is dropped and, once per series
  // of refusals, the log says so).
  bool queue_task(std::shared_ptr<const Records> task);
  // A text block into the time, depth, lag-depth and fast files / into one file. False when
  // a file's task was refused (queue full, or a text too long for a block, logged).
  bool save_text_values(const KeyValueList& list);
  bool save_text_values(const std::string& file, const KeyValueList& list);
  // The run's trailer into each of the four files that exists: final bottom-hole depth and
  // time. A file that does not exist gets nothing and is not created.
  void save_end_values();
  void save_end_race_data(const std::string& file);
  // The run's header into the four files: `header` (the run's description, in order), then
  // the three file names and, unless the run continues (`without_start`), the bottom-hole
  // depth and the time it starts.
  void save_start_values(const KeyValueList& header, bool without_start);
  void save_begin_race_data(const std::string& file, const KeyValueList& header,
                            bool without_start);

  // ---- lines (main thread) ----------------------------------------------------------------
  // Brackets one tick's lines, during which the caller keeps the table as it is: the live
  // table's parameters are compared with it once, and the writer is not woken for the lines
  // queued: it takes them within its idle wait (kIdleWait, 50 ms), long before the next
  // tick. Outside a bracket every line compares and wakes the writer on its own.
  // `table_version`, when given, is a count the caller changes whenever a row of the table
  // may have changed (a reload, an edit, another row count): a tick with the version of the
  // last tick that compared takes the table as it was then, without reading its rows.
  void begin_tick(std::optional<std::uint64_t> table_version = std::nullopt);
  void end_tick();
  // Feeds this tick's values (averaged where the row averages) into the time, depth (while
  // the storage's depth file is on), lag-depth and fast accumulators.
  void store_values_for_file();
  // A time line: bottom-hole depth, bit depth, lag depth, effective operation.
  void save_time_values();
  // A depth line at `depth`, and a lag line waiting for that depth's mud, to be written
  // `delay` calls after it has arrived. Nothing when nothing was fed yet. The line's mud
  // arrives once the advances add up to `remaining` (the depth itself when not given: the
  // caller chooses the unit and origin of both).
  void save_depth_values(float depth, std::int32_t delay,
                         std::optional<double> remaining = std::nullopt);
  // Advances the waiting lag lines by `advance` (while the mud circulates) and writes at
  // most one: the oldest, once it has arrived and waited its delay. Parameters named in
  // `arrival_list` (comma-separated identifiers) take the surface reading of their
  // arrival; those in `live_list` keep their live accumulation.
  void save_lag_depth_values(const std::string& arrival_list, const std::string& live_list,
                             float advance);
  // Writes every waiting lag line at once (the end of a run), as drilling; with `wait`, and
  // while the writer runs, waits up to 60 s for it to empty the queue.
  void flash_lag_data(bool wait = true);
  // A run taken up again after a power cut squares the waiting lag lines of its last saved
  // state with its files: it drops those its lag file already holds (the writer went on after
  // that save; the number dropped) and adds those owed to depth lines the state never saw,
  // each in its place by depth.
  std::size_t drop_lag_lines_if(const std::function<bool(double depth)>& written);
  void add_owed_lag_line(LagFileStoredLine line);
  // A fast line.
  void save_fast_file();
  void clear_all_file_values();
  std::size_t pending_lag_lines() const { return lag_lines_.size(); }
  const std::deque<LagFileStoredLine>& lag_lines() const { return lag_lines_; }
  FileStoredValues& time_values() { return time_set_; }
  FileStoredValues& depth_values() { return depth_set_; }
  FileStoredValues& lag_values() { return lag_set_; }
  FileStoredValues& fast_values() { return fast_set_; }

  std::vector<LineReceiver> on_save_time_data;
  std::vector<LineReceiver> on_save_depth_data;
  std::vector<LineReceiver> on_save_lag_data;

  // The accumulators and the waiting lag lines in the state file (version 1 only).
  static constexpr unsigned kStateVersion = 1;
  void serialize_state(lib::serial_list& list, unsigned version);

  std::size_t get_queue_size() const { return queue_.size(); }
  const ValuesWriterDeque& queue() const { return queue_; }

  // ---- writing --------------------------------------------------------------------------
  void start_save_thread();
  // Asks the writer to stop and waits until it has written every queued task, or until a
  // write fails (the rest then stays queued, and the log says how many).
  void stop_save_thread();
  bool save_thread_running() const { return thread_.joinable(); }
  // Writes one task (writer thread, or the caller while no writer thread runs). True when
  // the task is done with: written, or dropped because it can never be written (logged);
  // false when it must be tried again.
  bool save_values_asynch(const Records& task, std::string_view caller);
  // Writes queued tasks on the caller's thread until the queue is empty or a write fails;
  // only while no writer thread runs. The number written.
  std::size_t write_pending();

 private:
  void save_thread(std::stop_token stop);
  // Writes tasks of one file, in order, with one open and one append; the number done with
  // (written, or the first dropped as it can never be written), 0 when all must be retried.
  std::size_t write_tasks(const std::vector<const Records*>& tasks, std::string_view caller);
  // Writes the oldest tasks of one file; the number taken off the queue.
  std::size_t write_oldest(std::string_view caller);
  // The live table's parameters, the same shared list while they do not change.
  ParamList current_params();
  std::vector<int> catalogue_indexes(const std::vector<RecordedParam>& params) const;
  // The catalogue index of each parameter of a list, kept for the lists in use.
  const std::vector<int>& indexes_of(const ParamList& params);
  void feed_fast();
  // A table row the catalogue knows, and its catalogue index.
  struct CataloguedRow {
    int row;
    std::size_t catalogue;
  };
  // The rows the catalogue knows, in table order. Found again only for rows whose identifier
  // changed: a catalogue search for 512 rows a tick costs more than the rest of the tick.
  // Refreshes the fast parameters' rows when any changed.
  const std::vector<CataloguedRow>& catalogued_rows();
  // Makes a line of `set` and queues it for `file`; false when the set was empty.
  bool make_line(FileStoredValues& set, const ParamList& params, float first, float third,
                 std::uint8_t operation, ValuesLine& line);
  std::uint8_t effective_operation() const;
  void announce(const std::vector<LineReceiver>& receivers, const char* name,
                const ParamList& params, const ValuesLine& line);
  // Queues the line for `file`; the record, for the announcement.
  std::shared_ptr<const ValuesWriterRecord> queue_line(const std::string& file, ValuesLine&& line,
                                                       const ParamList& params);
  void log(const std::string& text) const {
    if (services_.log) services_.log(text);
  }

  ds_tmp::DataStorage& storage_;
  const params::AllParams& catalogue_;
  RealTimeFileServices services_;
  lib::FileSystem& fs_;
  lib::Clock& clock_;
  RunFileNames names_;
  FileStoredValues time_set_, depth_set_, lag_set_, fast_set_;
  std::deque<LagFileStoredLine> lag_lines_;  // oldest first
  ParamList current_params_;
  std::vector<int> current_indexes_;
  bool in_tick_ = false;
  bool table_checked_ = false;                 // in this tick, against current_params_
  std::optional<std::uint64_t> tick_version_;  // the table's version of this tick
  // The version of the table current_params_ was last compared with; none when unknown.
  std::optional<std::uint64_t> checked_version_;
  ParamList row_ids_list_;  // current_params_ when row_ids_ were last checked
  std::vector<int> fast_indexes_;
  std::vector<int> fast_rows_;  // the table row of each fast parameter, -1: none
  ParamList other_params_;
  std::vector<int> other_indexes_;
  std::string arrival_text_, live_text_;  // the lists last parsed, and what they gave
  std::vector<std::string> arrival_, live_;
  ParamList arrival_flags_list_;     // the list arrival_flags_ was made for
  std::vector<char> arrival_flags_;  // per parameter of it: named in the arrival list
  std::vector<int> row_catalogue_;   // per table row, -1: not in the catalogue
  std::vector<CataloguedRow> catalogued_;
  std::vector<std::optional<std::string>> row_ids_;  // nullopt: not looked up yet
  ParamList fast_params_;
  std::vector<std::uint8_t> fast_modes_;
  ValuesWriterDeque queue_;
  std::jthread thread_;
  // The bytes of one batch. Used only by the one thread that writes: the writer thread, or
  // the caller of save_values_asynch / write_pending while none runs.
  std::string batch_;
  std::vector<std::shared_ptr<const Records>> batch_tasks_;
  std::vector<const Records*> batch_plain_;
  // Writer thread only: the file of the failing series, empty while writes succeed.
  std::string failing_file_;
  std::uint64_t failures_ = 0;
  // Main thread only: refusals of the present series of a full queue.
  std::uint64_t refused_in_series_ = 0;
};

}  // namespace rtf
