#include "hardware/bus2017/pult_config_upload.h"

#include <array>
#include <mutex>

#include "hardware/comm_protocols.h"

namespace hardware {

bool configure_pult1(CommProtocols& hub, std::string_view header, const std::uint8_t* data,
                     std::size_t length, bool wait) {
  lib::CommPort& port = hub.get_port();
  if (!port.is_opened()) return false;
  std::uint8_t checksum = 0;
  for (std::size_t i = 0; i < length; ++i) checksum ^= data[i];

  if (wait) {
    int successes = 0;
    for (int tries = 0; tries < kPultWaitTries && successes < kPultWaitSuccesses; ++tries) {
      std::array<std::uint8_t, old_block::kSize> block{};
      bool answered = false;
      {
        std::lock_guard port_guard(hub.port_lock());
        answered = port.read_data2(block.data(), block.size(), true, "SP");
      }
      if (answered)
        ++successes;
      else
        hub.sleep_ms(kPultWaitPauseMs);
    }
    if (successes < kPultWaitSuccesses) return false;
  }

  std::lock_guard port_guard(hub.port_lock());
  const bool written = port.write(header.data(), header.size()) &&
                       (length == 0 || port.write(data, length)) && port.write(&checksum, 1);
  port.flush();
  return written;
}

}  // namespace hardware
