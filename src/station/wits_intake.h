// The WITS records the station listens to: the receiver of the enabled servers of the
// settings (one receiving thread each), the last complete record of every live server with
// the moment the tick took it, and the watchdog that replaces a thread which ended.
// Not thread-safe: the station's tick thread calls it; the receiver's threads hand their
// records over through the receiver.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lib/log_files.h"
#include "wits/wits_data.h"
#include "wits/wits_receiver.h"

namespace lib {
class Clock;
class FileSystem;
}  // namespace lib

namespace station {

struct WitsServerView;

class WitsIntake {
 public:
  explicit WitsIntake(lib::Clock& clock) : clock_(clock) {}
  // Starts the receiver on the servers of `options`, its logs in `home`.
  void open(const std::string& home, lib::FileSystem& fs, const lib::LogLimits& limits,
            const wits::WITSReceiverOptions& options);
  // Takes the records that completed since the last tick; runs the watchdog when due.
  void tick();
  // The value of item `code` ("RRII") of a recent record (taken within `fresh_ms`) of a
  // connected server: of `server`, or with none named of the first server by name that has
  // it; wits::kNotAvailable when there is none.
  double item(const std::string& server, const std::string& code, std::int64_t fresh_ms) const;
  std::vector<WitsServerView> servers() const;
  void terminate();

  const wits::WITSCommIncomData& reading() const { return reading_; }
  const wits::WITSReceiver* receiver() const { return receiver_.get(); }

 private:
  lib::Clock& clock_;
  std::unique_ptr<wits::WITSReceiver> receiver_;
  wits::WITSCommIncomData reading_;
  // Server -> steady ms the newest record arrived (kept across a replaced thread).
  std::map<std::string, std::int64_t> last_record_ms_;
  // Server -> record -> steady ms of the tick that took it.
  std::map<std::string, std::map<int, std::int64_t>> record_ms_;
  std::int64_t next_watchdog_ms_ = 0;
};

}  // namespace station
