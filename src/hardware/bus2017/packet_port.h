// What the packet layer needs of a serial line: write a block, flush it out, and read one
// byte with the port's time-out. Keeping it this small lets the layer run over memory
// buffers in tests and over any real port through a thin adapter.
#pragma once

#include <cstdint>
#include <span>

#include "hardware/bus2017/packet_format.h"

namespace hardware {

class PacketPort {
 public:
  virtual ~PacketPort() = default;

  // Writes all the bytes; false when the port refused them.
  virtual bool write(std::span<const std::uint8_t> bytes) = 0;
  virtual void flush() = 0;
  // A byte 0..255, or an error: packet_format::kReadTimeout when nothing came within the
  // port's time-out, packet_format::kReadUnknownError or another negative value otherwise.
  virtual int read_byte() = 0;
};

}  // namespace hardware
