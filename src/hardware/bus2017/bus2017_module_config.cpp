#include "hardware/bus2017/bus2017_module_config.h"

#include <mutex>

#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/comm_protocols.h"

namespace hardware {

using namespace bus2017;

bool read_module_config_2017(CommProtocols& hub, int address, ModuleConfig2017& config,
                             int* answered_from) {
  std::lock_guard port_guard(hub.port_lock());
  if (!hub.get_port().is_opened()) return false;
  if (!send_packet_2017(hub, address, kCmdModuleConfigRead, {})) return false;
  ModuleConfig2017 received{};
  std::uint16_t length = 0;
  int from = 0;
  if (!read_data_2017_buffer(hub, address, received.data(), received.size(), &length, &from))
    return false;
  if (length != kModuleConfigSize) return false;
  config = received;
  if (answered_from) *answered_from = from;
  return true;
}

bool write_module_config_2017(CommProtocols& hub, int address, const ModuleConfig2017& config,
                              std::uint8_t* result) {
  std::lock_guard port_guard(hub.port_lock());
  if (!hub.get_port().is_opened()) return false;
  if (!send_packet_2017(hub, address, kCmdModuleConfigWrite, config)) return false;
  hub.sleep_ms(kConfigWritePauseMs);
  std::uint8_t byte = 0;
  if (!read_data_2017_result(hub, address, byte)) return false;
  if (result) *result = byte;
  return true;
}

std::string module_config_read_error(int address) {
  if (address == kAnyAddress) return kConfigReadAnyFailedText;
  return kConfigReadFailedText + std::to_string(address);
}

}  // namespace hardware
