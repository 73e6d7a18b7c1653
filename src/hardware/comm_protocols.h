// The device protocol hub: owns the serial port, keeps the registry of field-bus protocols
// the station can speak and runs one read or one write exchange when its caller asks.
// Readings come out three ways: the caller's CommIncomData filled by read_data, the hub's
// copy of the last good reading (get_last_data, get_last_adc_value), and named variables
// (update_variables).
//
// Locks: the port lock is held for every exchange on the line; the data lock for every
// access to the last reading and is never held during serial traffic; the output lock is
// taken by send functions inside the port lock (order: port, then output). The registry
// itself is not locked: change it only while no exchange runs.
//
// The hub never reaches the rest of the station by itself: its owner hands it a log sink,
// a variable setter, a setter of the configured protocol, a clock and a sleep function.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/bus_old/old_block.h"
#include "hardware/comm_incom_data.h"
#include "hardware/comm_out_data.h"
#include "hardware/comm_port.h"
#include "hardware/dol_accumulators.h"
#include "hardware/emulator.h"
#include "hardware/protocol.h"
#include "lib/date_time.h"
#include "lib/line_logger.h"

namespace hardware {

// Markers a raw ADC value carries instead of a reading.
inline constexpr std::int32_t kAdcTimeOut = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kAdcCrcError = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t kAdcNoData = static_cast<std::int32_t>(0x80000002u);

// Device type code of a module or console that delivered data.
inline constexpr std::int32_t kDeviceTypeDataSource = 99;

// What the hub needs from its owner. Empty callbacks are allowed (nothing happens).
struct CommProtocolsEnv {
  // The system log: a message and its level (1 errors, 2 warnings, higher is chattier).
  std::function<void(std::string_view message, int level)> log;
  // Sets a named text variable of the value registry.
  std::function<void(const std::string& name, const std::string& value)> set_variable;
  // Makes `id` the station's configured protocol (register_only_emu with its flag set).
  std::function<void(std::int32_t id)> set_configured_protocol;
  lib::Clock* clock = nullptr;             // the system clock when null
  lib::FileSystem* file_system = nullptr;  // the real file system when null (packet log)
  std::function<void(int ms)> sleep;       // a real sleep when empty
  std::unique_ptr<lib::BytePort> line;     // the real serial line when null
  // Folder of the packet log of the 2017 bus; no packet log when empty.
  std::string home_folder;
};

class CommProtocols {
 public:
  // The mask the station hub passes: every protocol but the junction box (bit 11).
  static constexpr std::uint32_t kStationMask = 4294965247u;
  static constexpr std::uint32_t kAllProtocols = 0xFFFFFFFFu;
  static constexpr int kFailedReadPauseMs = 10;

  CommProtocols(std::uint32_t mask, CommProtocolsEnv env);
  ~CommProtocols();
  CommProtocols(const CommProtocols&) = delete;
  CommProtocols& operator=(const CommProtocols&) = delete;

  // --- registry ---
  void register_protocol(std::int32_t id, const std::string& name, ReadFunction read,
                         SendFunction send, std::int32_t middle_adc, std::int32_t max_adc,
                         std::int32_t baud, std::int32_t time_out_ms, std::uint32_t mask);
  void unregister_protocols();
  void register_only_emu(bool make_configured);
  void register_only_horiz();
  // Gives a registered protocol its exchange functions (the 2017 bus protocol is plugged in
  // this way by its own module); false when the id is not registered.
  bool set_protocol_functions(std::int32_t id, ReadFunction read, SendFunction send);

  void enum_protocols(std::vector<std::string>& names) const;
  // Writes every id; `ids` must have room for all registered protocols.
  void enum_protocols_ids(std::int32_t* ids) const;
  void enum_protocols_ids(std::vector<std::int32_t>& ids) const;
  void enum_serial_ports(std::vector<std::string>& names) const;  // see serial_port_list.h
  int get_protocol_number(std::int32_t id) const;
  std::int32_t get_protocol_id(int position) const;
  bool pult_exists(std::int32_t id) const;
  int get_last_protocol() const { return last_protocol_; }
  int get_pult_type() const { return current_protocol_; }
  const Protocol* protocol_at(int position) const;

  // --- port and exchanges ---
  lib::CommPort& get_port() { return port_; }
  void configure_port(std::int32_t id, int time_out_ms);
  void clear();
  bool read_data(std::int32_t id, const std::string& port_text, CommIncomData& data);
  bool send_data(std::int32_t id, const std::string& port_text, CommOutData& out);
  std::string port_text() const;

  // --- last reading ---
  CommIncomData get_last_data();
  void update_last_data(const CommIncomData& data);
  // The raw ADC value of a channel of a module in the last reading; 0 when absent.
  std::int32_t get_last_adc_value(std::int32_t address, int channel);
  int get_max_adc_value() const { return max_adc_; }
  int get_middle_adc_value() const { return middle_adc_; }
  static std::string adc_value_2_str(std::int32_t value);
  // Publishes the supply voltage, temperature and rails of every module as variables
  // "pult<address>.voltage", ".tempr", ".+5v" and ".+12v".
  void update_variables(const CommIncomData& data);

  // --- packet history and device types ---
  // The continuity check of module packet numbers; true when the packet is to be used.
  bool check_packet_number(CommIncomData& data, std::int32_t address, std::uint32_t number,
                           std::uint32_t largest, bool* backwards = nullptr);
  void forget_packet_numbers();
  std::map<std::int32_t, std::int32_t> device_types() const;
  void set_device_types(std::map<std::int32_t, std::int32_t> types);
  int packet_log_level() const { return packet_log_level_; }
  void set_packet_log_level(int level);
  // "packets.log": the 2017 bus's frame trace, its threshold the packet-log level.
  lib::LineLogger& packet_log() { return packet_log_; }
  // The module's record in the last reading; false when the module is not in it.
  bool get_last_module(std::int32_t address, USOData& record);
  // Winch-sensor counts of the 2017 bus modules (they outlive single readings).
  DolAccumulators& dol_accumulators() { return dol_accumulators_; }

  // --- the older bus (single module answering one 60-byte block) ---
  bool read_data_new_pilot(CommIncomData& data, std::string_view command, std::int32_t address);
  bool read_data_new_process_data(CommIncomData& data,
                                  std::span<const std::uint8_t, old_block::kSize> block,
                                  std::int32_t address);
  bool read_data_new(CommIncomData& data);
  bool read_data_uso2(CommIncomData& data);
  bool read_data_horiz_fast(CommIncomData& data);
  void send_data_new_pult(CommOutData& out);
  bool read_data_emu(CommIncomData& data);

  // Locks, for protocol code that runs inside an exchange.
  std::recursive_mutex& port_lock() { return port_lock_; }
  std::recursive_mutex& output_lock() { return output_lock_; }

  void log(std::string_view message, int level) const;
  void sleep_ms(int ms) const;
  lib::Clock& clock() const { return *clock_; }
  std::mt19937& random() { return random_; }

 private:
  void register_station_protocols(std::uint32_t mask);
  void forget_history_and_registry();

  CommProtocolsEnv env_;
  lib::Clock* clock_;
  lib::CommPort port_;
  std::string port_text_;
  std::recursive_mutex port_lock_;
  mutable std::mutex data_lock_;
  std::recursive_mutex output_lock_;
  std::vector<Protocol> protocols_;
  int current_protocol_ = -1;
  int max_adc_ = 4095;
  int middle_adc_ = 0;
  CommIncomData last_data_;
  std::map<std::int32_t, std::uint32_t> last_packet_numbers_;
  int last_protocol_ = 0;
  // Packet logging is off until someone asks for it.
  int packet_log_level_ = -1;
  lib::LineLogger packet_log_;
  DolAccumulators dol_accumulators_;
  mutable std::mutex device_types_lock_;
  std::map<std::int32_t, std::int32_t> device_types_;
  std::mt19937 random_;
  Emulator emulator_;
};

}  // namespace hardware
