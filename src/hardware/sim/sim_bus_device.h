// The device end of a simulated field bus: takes the bytes the station wrote and gives back
// what the devices answer. The simulators of both bus generations implement it, so one
// server runs either behind a pseudo-terminal and one in-memory line serves either in tests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace hardware {

class SimBusDevice {
 public:
  virtual ~SimBusDevice() = default;
  // Bytes may arrive in any chunks; a device keeps a partial request until it completes.
  virtual std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace hardware
