// Station: the reference host loop on top of the hub. It prepares a home folder, loads the
// settings, the parameter table and the saved state, opens the data source, and runs one
// data tick at a time in the station's order: read the bus, convert every configured row's
// raw input into its current value, average, advance the storage, drain the main-thread
// queue, announce the tick. The caller owns the timing (once a second), so tests drive
// ticks directly.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace reg {
class System;
}

namespace station {

// A failure a person can act on (a port that cannot be opened, an unreadable file).
class StationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct StationSettings {
  // "emulator", "console", "console2017", "junction", "depth", or empty for the configured one.
  std::string protocol;
  // A device path; empty for the configured port.
  std::string port;
  // Load "sys.bin" on opening.
  bool restore = true;
  // The bus addresses to serve on a 2017 bus, such as "1,2,33,65"; empty for the settings.
  std::string addresses;
  // Seconds between two saves of the state while running; 0 for the settings.
  int save_every = 0;
};

// The file in the home folder a running station holds locked (its process id inside), so
// that a second station on the same home is refused instead of fighting over the bus and
// the state file.
inline constexpr const char* kHomeLockFileName = "rigstation.lock";

// The protocol id of a data source name, or -1.
std::int32_t protocol_id_of(const std::string& name);

struct RowView {
  std::string identifier;
  std::string name;
  std::string unit;
  double value = 0;  // what readers see (averaged)
  double raw = 0;    // the raw input of the last good reading
  bool has_raw = false;
};

struct SourceStatus {
  std::int32_t protocol_id = 0;
  std::string protocol_name;
  std::string port;
  // What the protocol is given with each exchange: the bus addresses on a 2017 bus, else
  // the port.
  std::string port_text;
  std::uint64_t ticks = 0;
  std::uint64_t good_readings = 0;
  std::uint64_t failures = 0;
  std::uint64_t last_good_tick = 0;  // 0: none yet
};

class Station {
 public:
  explicit Station(reg::System& hub);
  ~Station();

  // Takes the home folder (refused with StationError naming the other station's process id
  // when one holds it), prepares it (returns what it created), loads everything and opens
  // the data source. Throws StationError with a clear message on failure. What the operator
  // must hear about the start (the state restored or not, copies kept, where the error log
  // is) is in start_notes() afterwards.
  std::vector<std::string> open(const StationSettings& settings);
  const std::vector<std::string>& start_notes() const { return notes_; }
  // One data tick; saves the state when a save is due (see reg::System::save_when_due).
  void tick();
  // A line for the operator when a save during the ticks failed, or worked again after a
  // failure; empty otherwise. Cleared by reading.
  std::string take_save_message();
  // Saves the state file, closes the port and lets the home go; false when the state could
  // not be saved (reg::System::last_save_error says why).
  bool close();

  const SourceStatus& source() const { return source_; }
  std::vector<RowView> rows() const;
  // The registry's named values (depths, run values, plug-in values), in name order.
  std::vector<RowView> registered_values() const;

 private:
  void convert_rows(bool reading_ok);
  // Sends what plug-ins prepared for consoles and indicators, when the protocol can send.
  void send_output();

  reg::System& hub_;
  SourceStatus source_;
  std::vector<double> raw_;
  std::vector<bool> has_raw_;
  bool opened_ = false;
  std::vector<std::string> notes_;
  int home_lock_fd_ = -1;
  bool save_failing_ = false;
  std::string save_message_;

  std::vector<std::string> open_home(const StationSettings& settings);
  void lock_home(const std::string& home);
  void release_home();
};

}  // namespace station
