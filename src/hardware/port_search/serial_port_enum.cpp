// The system side of the serial port list: libserialport's enumeration (only the names; the
// ports themselves are opened through the station's own serial port), the reading of the
// console files, and the hub's enum_serial_ports.
#include <libserialport.h>

#include "hardware/comm_protocols.h"
#include "hardware/port_search/serial_port_list.h"
#include "lib/file_system.h"

namespace hardware {

SerialDeviceListing libserialport_devices() {
  SerialDeviceListing listing;
  sp_port** ports = nullptr;
  const sp_return rc = sp_list_ports(&ports);
  if (rc != SP_OK) {
    if (rc == SP_ERR_FAIL) {
      char* message = sp_last_error_message();
      listing.error = message ? message : "the system refused the port list";
      sp_free_error_message(message);
    } else {
      listing.error = "libserialport error " + std::to_string(static_cast<int>(rc));
    }
    if (ports) sp_free_port_list(ports);
    return listing;
  }
  for (sp_port** p = ports; p && *p; ++p) {
    if (const char* name = sp_get_port_name(*p)) listing.paths.emplace_back(name);
  }
  sp_free_port_list(ports);
  return listing;
}

std::optional<std::string> read_system_text(const std::string& path, lib::FileSystem& fs) {
  return lib::read_whole_file(path, fs);
}

void CommProtocols::enum_serial_ports(std::vector<std::string>& names) const {
  lib::FileSystem& fs = *env_.file_system;
  const SerialPortLister lister(
      libserialport_devices, [&fs](const std::string& path) { return read_system_text(path, fs); },
      [this](std::string_view message) { log(message, 1); });
  names = lister.ports_to_search();
}

}  // namespace hardware
