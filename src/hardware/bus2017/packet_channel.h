// One request/reply exchange of the 2017 field bus at the packet level: SendPacket builds a
// frame (address, enciphered plain block, frame CRC, all stuffed between frame marks) and
// writes it in one go; ReceivePacket reads bytes until a good frame, deciphers it and hands
// back the address, command and data. Which addresses, commands and retries belong to the
// caller. Failures are a false result and a packet-log line, never an exception.
//
// A channel has no state across packets beyond its buffers and is not for concurrent use;
// its owner serialises access to the port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hardware/bus2017/bus_cipher_key.h"
#include "hardware/bus2017/packet_cipher.h"
#include "hardware/bus2017/packet_crc.h"
#include "hardware/bus2017/packet_format.h"
#include "hardware/bus2017/packet_port.h"
#include "lib/date_time.h"
#include "lib/line_logger.h"

namespace hardware {

class PacketChannel {
 public:
  // Both loggers usually write to the same packets.log (configure_packet_log).
  PacketChannel(PacketPort& port, lib::LineLogger& send_log, lib::LineLogger& receive_log,
                const BusCipherKey& key = configured_bus_cipher_key());

  // Feeds the byte to the frame CRC and appends it, stuffed, to the output buffer.
  void SendByte(std::uint8_t b);
  void SendBuffer(const std::uint8_t* p, unsigned n);
  // High byte first.
  void SendWord(std::uint16_t w);

  // Builds and writes one frame carrying cmd and len data bytes to addr. A text that does
  // not fit a packet (more than 2026 bytes with the command) is not sent; the result is
  // false then, and when the port refuses the write.
  bool SendPacket(std::uint8_t addr, std::uint8_t cmd, const std::uint8_t* data, unsigned len);

  // Reads one frame. True with the sender's address, the command byte, and len data bytes
  // copied to out. With need_checksum the data end in a little-endian CRC of the data
  // (without the command byte); it is checked and not counted in len. False on a port
  // error or time-out, a decode error, a wrong inner checksum or data longer than out_size.
  bool ReceivePacket(std::uint8_t& addr, std::uint8_t& cmd, std::uint16_t& len, std::uint8_t* out,
                     unsigned out_size, bool need_checksum);

  // Ends a receive that has not completed a frame after budget_ms of the clock, even when
  // the port keeps delivering bytes (a device babbling garbage would otherwise hold the bus
  // forever). Without it only the port's own read time-out ends the wait.
  void set_receive_budget(lib::Clock& clock, std::int64_t budget_ms);

  // The last frame as built by SendPacket, stuffed, from the preamble to the end mark.
  const std::vector<std::uint8_t>& output_buffer() const { return output_; }

 private:
  bool log_enabled(const lib::LineLogger& log, int level) const;

  PacketPort& port_;
  lib::LineLogger& send_log_;
  lib::LineLogger& receive_log_;
  std::vector<std::uint8_t> output_;
  std::array<std::uint8_t, packet_format::kWorkBufferSize> work_{};
  std::array<std::uint8_t, packet_format::kTransmitBufferSize> transmit_{};
  PacketCipher cipher_;
  CrcEngine crc_;
  lib::Clock* budget_clock_ = nullptr;  // not owned
  std::int64_t budget_ms_ = 0;
};

}  // namespace hardware
