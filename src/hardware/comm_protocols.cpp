#include "hardware/comm_protocols.h"

#include <chrono>
#include <thread>

#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/bus2017/packet_log.h"
#include "lib/str_utils.h"

namespace hardware {

namespace {
constexpr std::int32_t kDefaultMaxAdc = 4095;

void real_sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
}  // namespace

CommProtocols::CommProtocols(std::uint32_t mask, CommProtocolsEnv env)
    : env_(std::move(env)),
      clock_(env_.clock ? env_.clock : &lib::system_clock()),
      port_(
          env_.line ? std::move(env_.line) : lib::make_serial_byte_port(),
          [this](std::string_view message, int level) { log(message, level); }, *clock_),
      packet_log_(-1, *clock_, env_.file_system ? *env_.file_system : lib::posix_file_system()),
      dol_accumulators_([this](std::string_view message, int level) { log(message, level); }) {
  if (!env_.file_system) env_.file_system = &lib::posix_file_system();
  if (!env_.home_folder.empty()) configure_packet_log(packet_log_, env_.home_folder, -1);
  register_station_protocols(mask);
}

CommProtocols::~CommProtocols() = default;

void CommProtocols::log(std::string_view message, int level) const {
  if (env_.log) env_.log(message, level);
}

void CommProtocols::sleep_ms(int ms) const {
  if (env_.sleep)
    env_.sleep(ms);
  else
    real_sleep(ms);
}

void CommProtocols::register_station_protocols(std::uint32_t mask) {
  register_protocol(
      kProtocolNewPult, "Новый пульт",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_new(d); },
      [](CommProtocols& hub, CommOutData& out) { hub.send_data_new_pult(out); }, 0, kDefaultMaxAdc,
      57600, 500, mask);
  register_protocol(
      kProtocol2017, "Нирам 2017",
      [](CommProtocols& hub, CommIncomData& d) { return read_data_2017(hub, d); },
      [](CommProtocols& hub, CommOutData& out) { send_data_2017(hub, out); }, 0, kDefaultMaxAdc,
      115200, 250, mask);
  register_protocol(
      kProtocolEmulator, "*** ЭМУЛЯЦИЯ РАБОТЫ УСО ***",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_emu(d); }, nullptr, 0,
      kDefaultMaxAdc, 9600, 500, mask);
  register_protocol(
      kProtocolJunctionBox, "Распредкоробка Нирам",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_uso2(d); }, nullptr, 0,
      kDefaultMaxAdc, 57600, 500, mask);
}

void CommProtocols::register_protocol(std::int32_t id, const std::string& name, ReadFunction read,
                                      SendFunction send, std::int32_t middle_adc,
                                      std::int32_t max_adc, std::int32_t baud,
                                      std::int32_t time_out_ms, std::uint32_t mask) {
  if (protocol_in_mask(id, mask)) {
    protocols_.push_back(Protocol{id, name, middle_adc, max_adc, baud, time_out_ms, std::move(read),
                                  std::move(send)});
  }
  last_protocol_ = static_cast<int>(protocols_.size()) - 1;
}

void CommProtocols::unregister_protocols() {
  protocols_.clear();
  last_protocol_ = 0;
}

void CommProtocols::forget_history_and_registry() {
  unregister_protocols();
  current_protocol_ = -1;
  forget_packet_numbers();
}

void CommProtocols::register_only_emu(bool make_configured) {
  forget_history_and_registry();
  register_protocol(
      kProtocolEmulator, "*** ЭМУЛЯЦИЯ РАБОТЫ УСО ***",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_emu(d); }, nullptr, 0,
      kDefaultMaxAdc, 9600, 500, 1u << kProtocolEmulator);
  if (make_configured && env_.set_configured_protocol)
    env_.set_configured_protocol(kProtocolEmulator);
}

void CommProtocols::register_only_horiz() {
  forget_history_and_registry();
  register_protocol(
      kProtocolNewPult, "Модуль глубины для заб. сис. (1 сек)",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_new(d); }, nullptr, 0,
      kDefaultMaxAdc, 57600, 500, kAllProtocols);
  register_protocol(
      kProtocolDepthFast, "Модуль глубины для заб. сис. (250мс)",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_horiz_fast(d); }, nullptr, 0,
      kDefaultMaxAdc, 57600, 500, kAllProtocols);
  register_protocol(
      kProtocolEmulator, "*** ЭМУЛЯЦИЯ РАБОТЫ УСО ***",
      [](CommProtocols& hub, CommIncomData& d) { return hub.read_data_emu(d); }, nullptr, 0,
      kDefaultMaxAdc, 9600, 500, kAllProtocols);
}

bool CommProtocols::set_protocol_functions(std::int32_t id, ReadFunction read, SendFunction send) {
  const int n = get_protocol_number(id);
  if (n < 0) return false;
  protocols_[static_cast<std::size_t>(n)].read = std::move(read);
  protocols_[static_cast<std::size_t>(n)].send = std::move(send);
  return true;
}

void CommProtocols::enum_protocols(std::vector<std::string>& names) const {
  names.clear();
  for (const Protocol& p : protocols_) names.push_back(p.name);
}

void CommProtocols::enum_protocols_ids(std::int32_t* ids) const {
  for (const Protocol& p : protocols_) *ids++ = p.id;
}

void CommProtocols::enum_protocols_ids(std::vector<std::int32_t>& ids) const {
  ids.clear();
  for (const Protocol& p : protocols_) ids.push_back(p.id);
}

int CommProtocols::get_protocol_number(std::int32_t id) const {
  for (std::size_t i = 0; i < protocols_.size(); ++i)
    if (protocols_[i].id == id) return static_cast<int>(i);
  return -1;
}

std::int32_t CommProtocols::get_protocol_id(int position) const {
  const Protocol* p = protocol_at(position);
  return p ? p->id : -1;
}

const Protocol* CommProtocols::protocol_at(int position) const {
  if (position < 0 || static_cast<std::size_t>(position) >= protocols_.size()) return nullptr;
  return &protocols_[static_cast<std::size_t>(position)];
}

bool CommProtocols::pult_exists(std::int32_t id) const {
  return get_protocol_number(id) >= 0;
}

void CommProtocols::set_packet_log_level(int level) {
  packet_log_level_ = level;
  packet_log_.set_threshold(level);
}

void CommProtocols::configure_port(std::int32_t id, int time_out_ms) {
  set_packet_log_level(-1);
  const Protocol* p = protocol_at(get_protocol_number(id));
  if (!p) return;
  const int t = time_out_ms != 0 ? time_out_ms : p->time_out_ms;
  std::lock_guard port_guard(port_lock_);
  port_.configure(p->baud, 0, t, 2048, false);
  max_adc_ = p->max_adc;
  middle_adc_ = p->middle_adc;
  port_.set_time_out(t);
}

void CommProtocols::clear() {
  forget_packet_numbers();
  // Counts reported after a gap only re-initialise the winch-sensor accumulators.
  dol_accumulators_.forget_baselines();
  std::lock_guard port_guard(port_lock_);
  if (port_.is_opened()) {
    port_.clear();
    port_.reset_error_counters();
    random_.seed(static_cast<std::mt19937::result_type>(clock_->local_now().seconds));
  }
}

bool CommProtocols::read_data(std::int32_t id, const std::string& port_text, CommIncomData& data) {
  const int position = get_protocol_number(id);
  if (position < 0) return false;
  bool ok = false;
  {
    std::lock_guard port_guard(port_lock_);
    if (!port_.is_opened() && id != kProtocolEmulator) return false;
    port_text_ = port_text;
    current_protocol_ = position;
    const Protocol& p = protocols_[static_cast<std::size_t>(position)];
    if (p.read)
      ok = p.read(*this, data);
    else
      log("Protocol " + std::to_string(id) + " has no read exchange in this build", 1);
  }
  if (ok) {
    std::lock_guard data_guard(data_lock_);
    if (&data != &last_data_) last_data_ = data;
    return true;
  }
  sleep_ms(kFailedReadPauseMs);
  return false;
}

bool CommProtocols::send_data(std::int32_t id, const std::string& port_text, CommOutData& out) {
  std::lock_guard port_guard(port_lock_);
  if (!port_.is_opened()) return false;
  port_.set_rts();
  const int position = get_protocol_number(id);
  current_protocol_ = position;
  port_text_ = port_text;
  if (position < 0 || !protocols_[static_cast<std::size_t>(position)].send) return false;
  protocols_[static_cast<std::size_t>(position)].send(*this, out);
  port_.clear_rts();
  out.pults.clear();
  return true;
}

std::string CommProtocols::port_text() const {
  return port_text_;
}

CommIncomData CommProtocols::get_last_data() {
  std::lock_guard data_guard(data_lock_);
  return last_data_;
}

void CommProtocols::update_last_data(const CommIncomData& data) {
  std::lock_guard data_guard(data_lock_);
  if (&data != &last_data_) last_data_ = data;
}

bool CommProtocols::get_last_module(std::int32_t address, USOData& record) {
  std::lock_guard data_guard(data_lock_);
  const auto it = last_data_.modules.find(address);
  if (it == last_data_.modules.end()) return false;
  record = it->second;
  return true;
}

std::int32_t CommProtocols::get_last_adc_value(std::int32_t address, int channel) {
  std::lock_guard data_guard(data_lock_);
  const auto it = last_data_.modules.find(address);
  if (it == last_data_.modules.end()) return 0;
  // Callers keep the channel within the module's count; a stray one still reads nothing.
  if (channel < 0 || static_cast<std::size_t>(channel) >= it->second.adc.size()) return 0;
  return it->second.adc[static_cast<std::size_t>(channel)];
}

std::string CommProtocols::adc_value_2_str(std::int32_t value) {
  switch (value) {
    case kAdcTimeOut:
      return "T.O.";
    case kAdcCrcError:
      return "CRC";
    case kAdcNoData:
      return "???";
    default:
      return std::to_string(value);
  }
}

void CommProtocols::update_variables(const CommIncomData& data) {
  if (!env_.set_variable) return;
  for (const auto& [address, record] : data.modules) {
    const std::string prefix = "pult" + std::to_string(address);
    env_.set_variable(prefix + ".voltage", lib::float_to_str(record.extra[kExtraSupply], 3));
    env_.set_variable(prefix + ".tempr", lib::float_to_str(record.extra[kExtraTemperature], 3));
    env_.set_variable(prefix + ".+5v", lib::float_to_str(record.extra[kExtraPlus5V], 3));
    env_.set_variable(prefix + ".+12v", lib::float_to_str(record.extra[kExtraPlus12V], 3));
  }
}

void CommProtocols::forget_packet_numbers() {
  std::lock_guard data_guard(data_lock_);
  last_packet_numbers_.clear();
}

std::map<std::int32_t, std::int32_t> CommProtocols::device_types() const {
  std::lock_guard guard(device_types_lock_);
  return device_types_;
}

void CommProtocols::set_device_types(std::map<std::int32_t, std::int32_t> types) {
  std::lock_guard guard(device_types_lock_);
  device_types_ = std::move(types);
}

bool CommProtocols::read_data_emu(CommIncomData& data) {
  return emulator_.read(
      data, *clock_, [this](int ms) { sleep_ms(ms); }, random_);
}

}  // namespace hardware
