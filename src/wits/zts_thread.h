// One WITS server's receiving thread: connects to the server over TCP, reads records from
// the stream into its record store and reconnects when the stream is lost.
//
// Threads: the loop runs on its own std::jthread; is_working, set_is_working,
// check_wd_counter, read_wits_data and last_record_ms may be called from any thread (each
// takes the thread's own lock). start and stop belong to the owner (the receiver).
// Waits are bounded: every network wait has a time-out and a stop request cuts any wait short.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/line_logger.h"
#include "wits/wits0_reader.h"
#include "wits/wits_data.h"
#include "wits/wits_server_option.h"

namespace wits {

enum class ZTSThreadStatus : int { kNotConnected = 0, kConnected = 1, kReceiving = 2 };

// The most records one pass takes before its pause: a sender faster than the thread can read
// still lets the loop turn (and the watchdog see it turn).
inline constexpr int kMaxRecordsPerPass = 2000;

// The loop's waits. The defaults are the station's; tests shorten them.
struct ZTSWaits {
  std::chrono::milliseconds data{500};              // for the first byte of a record
  std::chrono::milliseconds stream_timeout{20000};  // for any byte within a record, and a connect
  std::chrono::milliseconds reconnect{500};         // before each connection attempt
  std::chrono::milliseconds pass{100};              // at the end of each pass
};

// Where the thread's logs go and how time is read. The receiver's log is shared by its
// threads (LineLogger is thread-safe).
struct ZTSEnvironment {
  std::string log_folder;  // with its trailing '/'
  lib::Clock* clock = nullptr;
  lib::FileSystem* fs = nullptr;
  lib::LineLogger* receiver_log = nullptr;
  ZTSWaits waits;
  lib::LogLimits log_limits;  // of the thread's own log
};

// "wits_" + the server's name with every '.' replaced by '_' + ".log".
std::string thread_log_file_name(const std::string& server_name);

class ZTSThread {
 public:
  // Called from the receiving thread whenever the status changes; must be thread-safe.
  using StatusChanged = std::function<void()>;

  // `generation` tells this thread from any other the owner made, even one that had the
  // same address before it.
  ZTSThread(const ZTSEnvironment& env, StatusChanged on_change, std::uint64_t generation);
  // Stops and joins the loop.
  ~ZTSThread();
  ZTSThread(const ZTSThread&) = delete;
  ZTSThread& operator=(const ZTSThread&) = delete;

  void set_options(const WITSServerOption& option) { option_ = option; }
  const WITSServerOption& options() const { return option_; }
  std::uint64_t generation() const { return generation_; }

  // Starts the loop (once).
  void start();
  // Asks the loop to stop and waits for it; any wait in progress is cut short.
  void stop();

  ZTSThreadStatus is_working() const;
  void set_is_working(ZTSThreadStatus status);
  // True when the progress counter did not move since the previous call.
  bool check_wd_counter();
  std::int64_t progress() const;
  // Copies every ready record into `data` under this server's name (replacing what was
  // there) and clears its flag; true when at least one was copied.
  bool read_wits_data(WITSCommIncomData& data);
  // Steady-clock time the newest record was made ready (read whole from the socket), if any.
  std::optional<std::int64_t> last_record_ms() const;
  // False once the loop has ended (stopped, or ended by an error).
  bool running() const { return running_.load(); }

  const RecordStore& store() const { return store_; }

 private:
  void execute(std::stop_token stop);
  void pause(std::stop_token& stop, std::chrono::milliseconds how_long);
  void log(std::string_view text);

  ZTSEnvironment env_;
  StatusChanged on_change_;
  std::uint64_t generation_;
  WITSServerOption option_;
  lib::LineLogger log_;

  mutable std::mutex mutex_;
  ZTSThreadStatus status_ = ZTSThreadStatus::kNotConnected;
  std::int64_t progress_ = 0;
  std::int64_t checked_progress_ = 0;
  std::optional<std::int64_t> last_record_ms_;
  RecordStore store_;

  std::mutex pause_mutex_;
  std::condition_variable_any pause_cv_;
  std::atomic<bool> running_{false};
  std::jthread thread_;
};

}  // namespace wits
