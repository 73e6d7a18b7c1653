// The packet layer over the station's serial port. The port's read results already use the
// packet layer's codes (-512 time-out, -1024 failure), so this only forwards.
#pragma once

#include "hardware/bus2017/packet_port.h"
#include "hardware/comm_port.h"

namespace hardware {

static_assert(lib::CommPort::kReadTimedOut == packet_format::kReadTimeout);
static_assert(lib::CommPort::kReadFailed == packet_format::kReadUnknownError);

class CommPortPacketPort : public PacketPort {
 public:
  explicit CommPortPacketPort(lib::CommPort& port) : port_(port) {}

  bool write(std::span<const std::uint8_t> bytes) override {
    return port_.write(bytes.data(), bytes.size());
  }
  void flush() override { port_.flush(); }
  int read_byte() override { return port_.read_byte(); }

 private:
  lib::CommPort& port_;
};

}  // namespace hardware
