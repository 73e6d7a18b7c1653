// The station's serial port: a device opened by path, 8N1 at a configured speed, byte reads
// with a read time-out, RTS control for half-duplex line drivers, and the exchange of the
// older field bus (a two-letter command answered by one checked data block; wire form in
// old_bus_wire.h).
//
// Failures are results, never exceptions: read_byte gives kReadTimedOut or kReadFailed, the
// exchanges give false and count the failure. No call waits longer than the read time-out
// (plus a few milliseconds for a reply's trailing bytes). Not thread-safe: the owner
// serialises access (the protocol hub's port lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lib/byte_port.h"
#include "lib/date_time.h"

namespace lib {

class CommPort {
 public:
  static constexpr int kReadTimedOut = -512;
  static constexpr int kReadFailed = -1024;
  static constexpr int kDefaultTimeOutMs = 500;
  // How long the line must stay quiet after a reply for it to count as complete; bytes
  // arriving within this gap make the reply too long.
  static constexpr int kTrailingGapMs = 3;

  // Failure counts since the last reset_error_counters.
  struct ErrorCounters {
    std::uint32_t timeouts = 0;         // nothing, or not enough, arrived in time
    std::uint32_t refused_replies = 0;  // garbled, short, long or foreign replies
    std::uint32_t failures = 0;         // the device refused a read or a write
  };

  // `log` receives one line per notable event (message, level: 1 errors, 2 warnings).
  using Log = std::function<void(std::string_view message, int level)>;

  CommPort(std::unique_ptr<BytePort> line, Log log, Clock& clock);
  ~CommPort();
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  void set_log(Log log) { log_ = std::move(log); }

  bool open(const std::string& device);
  void close();
  bool is_opened() const;
  const std::string& device() const { return device_; }

  // True once the line itself failed since the last opening (a read or a write the device
  // refused, as when a USB adapter is pulled out), as against a device that merely keeps
  // quiet. The owner closes the port and reopens it later; lost_reason() says what the OS
  // reported.
  bool line_lost() const { return line_lost_; }
  const std::string& lost_reason() const { return lost_reason_; }
  // Opens the last opened device again, at the same speed and time-out. Unlike open, a
  // failure is not logged: a caller that retries on a back-off reports once, not per try.
  bool reopen();

  // Speed and read time-out take effect. `parity` must be 0 (none): the bus knows no
  // other. `buffer_size` is the receive room the caller wants reserved (the OS keeps its
  // own); `hardware_flow` must be false, the bus lines carry no handshake.
  bool configure(int baud, int parity, int time_out_ms, int buffer_size, bool hardware_flow);
  void set_time_out(int time_out_ms);
  int time_out() const { return time_out_ms_; }
  int baud_rate() const { return baud_; }

  // One byte 0..255, kReadTimedOut or kReadFailed.
  int read_byte();
  bool write(const void* data, std::size_t size);
  bool flush();
  // A device without RTS (a pseudo-terminal) is not an error: logged once, then ignored.
  void set_rts();
  void clear_rts();
  // Drops received bytes not read yet.
  void clear();

  // Older-bus exchange: sends `command` and fills `block` with exactly `size` data bytes of
  // the device's checked reply. `drive_rts` raises RTS while the request goes out (a
  // console line with a half-duplex driver). False when no valid reply arrived in time;
  // `block` is then left unspecified.
  bool read_data2(void* block, std::size_t size, bool drive_rts, std::string_view command);
  // Sends one output block to the device (no reply expected).
  bool send_data2(const void* data, std::size_t size);

  const ErrorCounters& error_counters() const { return counters_; }
  void reset_error_counters() { counters_ = {}; }
  int get_handle() const;

 private:
  // Reads exactly `n` bytes before `deadline` (steady ms); false on time-out or failure.
  bool read_exact(std::uint8_t* out, std::size_t n, std::int64_t deadline);
  int read_byte_until(std::int64_t deadline);
  void note(std::string_view message, int level);
  bool change_rts(bool raised);
  void mark_lost();

  std::unique_ptr<BytePort> line_;
  Log log_;
  Clock& clock_;
  std::string device_;
  int baud_ = 0;
  int time_out_ms_ = kDefaultTimeOutMs;
  bool rts_unsupported_logged_ = false;
  bool line_lost_ = false;
  std::string lost_reason_;
  ErrorCounters counters_;
  std::vector<std::uint8_t> rx_;  // bytes read from the line and not consumed yet
  std::size_t rx_pos_ = 0;
};

}  // namespace lib
