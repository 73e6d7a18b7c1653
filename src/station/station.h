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
};

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

  // Prepares the home folder (returns what it created), loads everything and opens the
  // data source. Throws StationError with a clear message on failure.
  std::vector<std::string> open(const StationSettings& settings);
  // One data tick.
  void tick();
  // Saves the state file and closes the port.
  void close();

  const SourceStatus& source() const { return source_; }
  // What loading the settings at open() had to correct, one message each (also in the
  // error log), for the screen.
  const std::vector<std::string>& settings_notes() const { return settings_notes_; }
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
  std::vector<std::string> settings_notes_;
  bool opened_ = false;
};

}  // namespace station
