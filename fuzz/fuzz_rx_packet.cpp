// Arbitrary bytes arriving on the bus, through the frame assembler and the deciphering of
// the channel: the receive side either yields a packet within its limits or refuses, and
// never reads or writes out of bounds. The first input byte picks the caller's out_size and
// inner-checksum flag, so their checks are reached too.
#include <cstdint>
#include <vector>

#include "hardware/bus2017/packet_channel.h"
#include "hardware/bus2017/packet_cipher.h"
#include "hardware/bus2017/rx_packet.h"
#include "hardware/sim/memory_packet_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool need_checksum = data[0] & 1;
  const unsigned out_size = (data[0] >> 1) * 2u;  // 0 .. 254
  ++data;
  --size;

  // The assembler alone: every completed packet lies inside its frame limits.
  hardware::BusRxPacket rx;
  for (std::size_t i = 0; i < size; ++i) {
    rx.acceptChar(data[i]);
    const unsigned n = rx.getPacketSize();
    if (n != 0) {
      if (n < 7 || n > 253) __builtin_trap();
      rx.clearPacket();
    }
  }

  // The deciphering alone, with the input as the payload: the CRC no longer guards it.
  {
    hardware::PacketCipher cipher;
    std::vector<std::uint8_t> text(out_size);
    const std::size_t n = cipher.decode(std::span(data, size), text);
    if (n > out_size || (n != 0 && (size % 16 != 0 || n > size - 6))) __builtin_trap();
  }

  // The channel reading every frame out of the input until the port runs dry.
  static lib::LineLogger log(-1, lib::system_clock(), lib::posix_file_system());
  hardware::MemoryPacketPort port;
  port.queue(std::span(data, size));
  hardware::PacketChannel channel(port, log, log);
  std::vector<std::uint8_t> out(out_size);
  for (int guard = 0; guard < 1000 && !port.incoming.empty(); ++guard) {
    std::uint8_t addr = 0, cmd = 0;
    std::uint16_t len = 0;
    if (channel.ReceivePacket(addr, cmd, len, out.data(), out_size, need_checksum) &&
        len > out_size) {
      __builtin_trap();
    }
  }
  return 0;
}
