// The WITS receiver: one ZTSThread per enabled server of the list, the records they
// received handed out on request, and a watchdog that replaces threads that stopped turning.
//
// Threads: set_options, add_thread, terminate, read_data, on_wd_timer and status_text belong
// to one thread (the station's loop); the change notification is called from the receiving
// threads and must be thread-safe. The host calls on_wd_timer every wd_interval_ms() while
// wd_timer_active().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/line_logger.h"
#include "wits/wits_data.h"
#include "wits/wits_receiver_options.h"
#include "wits/zts_thread.h"

namespace wits {

// The receiver's own log, in the log folder.
inline constexpr const char* kReceiverLogFileName = "wits_receiver.log";
inline constexpr std::int64_t kWatchdogIntervalMs = 60000;

class WITSReceiver {
 public:
  // Logs go to `log_folder` (with its trailing '/').
  WITSReceiver(std::string log_folder, lib::Clock& clock, lib::FileSystem& fs, ZTSWaits waits = {});
  ~WITSReceiver();
  WITSReceiver(const WITSReceiver&) = delete;
  WITSReceiver& operator=(const WITSReceiver&) = delete;

  // Nothing happens when `options` equal those in force (the first call always applies); otherwise
  // the threads are stopped, one is started per enabled server, and the watchdog is armed.
  void set_options(const WITSReceiverOptions& options);
  const WITSReceiverOptions& options() const { return options_; }
  // Bounds of the receiver's log and of the logs of the threads made from now on.
  void set_log_limits(const lib::LogLimits& limits);
  void add_thread(const WITSServerOption& option);
  // Stops, waits for and destroys every thread.
  void terminate();

  // Drops from `data` every server that has no thread any more, then takes each thread's
  // ready records in list order; true when any thread handed over something.
  bool read_data(WITSCommIncomData& data);

  // Replaces every thread whose progress counter did not move since the previous call.
  void on_wd_timer();
  bool wd_timer_active() const { return wd_active_; }
  std::int64_t wd_interval_ms() const { return kWatchdogIntervalMs; }

  // Called (from any thread) whenever a thread's status changes.
  void set_on_change(std::function<void()> on_change);

  // One line per thread ("name: state"), or "Прием WITS откл." when nothing is received.
  std::string status_text() const;

  const std::vector<std::unique_ptr<ZTSThread>>& threads() const { return threads_; }

 private:
  std::unique_ptr<ZTSThread> make_thread(const WITSServerOption& option);
  void notify();

  lib::Clock& clock_;
  lib::FileSystem& fs_;
  std::string log_folder_;
  ZTSWaits waits_;
  lib::LogLimits log_limits_;
  lib::LineLogger log_;
  std::uint64_t generations_ = 0;  // threads made so far
  WITSReceiverOptions options_;
  bool have_options_ = false;
  std::vector<std::unique_ptr<ZTSThread>> threads_;
  bool wd_active_ = false;
  mutable std::mutex change_mutex_;
  std::function<void()> on_change_;
};

// The word shown for a status.
const char* status_name(ZTSThreadStatus status);

}  // namespace wits
