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
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "storage/real_time_records.h"
#include "storage/values_writer_deque.h"

namespace ds_tmp {
class DataStorage;
}

namespace rtf {

struct RealTimeFileServices {
  lib::FileSystem* fs = nullptr;  // null: the real file system
  lib::Clock* clock = nullptr;    // null: the system clock
  // Failures and recoveries of the writer, and refusals of a full queue; may be empty.
  std::function<void(const std::string&)> log;
  std::size_t max_queue_bytes = kDefaultMaxQueueBytes;
};

// The names of a run's files.
struct RunFileNames {
  std::string time, depth, lag, race, fast, instr, pore, folder;
};

// The run number padded with zeros to four digits ("0007", "12345").
std::string run_number_text(int run);
// The files of run `run` in `folder` (a path ending with its separator).
RunFileNames run_file_names(const std::string& folder, int run);

class RealTimeFile {
 public:
  RealTimeFile(ds_tmp::DataStorage& storage, RealTimeFileServices services = {});
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
  void log(const std::string& text) const {
    if (services_.log) services_.log(text);
  }

  ds_tmp::DataStorage& storage_;
  RealTimeFileServices services_;
  lib::FileSystem& fs_;
  lib::Clock& clock_;
  RunFileNames names_;
  ValuesWriterDeque queue_;
  std::jthread thread_;
  // Writer thread only: the file of the failing series, empty while writes succeed.
  std::string failing_file_;
  std::uint64_t failures_ = 0;
  // Main thread only: refusals of the present series of a full queue.
  std::uint64_t refused_in_series_ = 0;
};

}  // namespace rtf
