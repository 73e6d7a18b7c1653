// Helpers for the packet layer tests: frames built by hand (stuffing and CRC), hex text, and
// a pair of channels joined by memory ports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hardware/bus2017/packet_channel.h"
#include "hardware/bus2017/packet_crc.h"
#include "hardware/sim/memory_packet_port.h"
#include "lib/line_logger.h"
#include "support/fakes.h"

namespace packet_testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes from_hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Stuffs every byte of `body` between frame marks, without the preamble.
inline Bytes stuffed_frame(const Bytes& body) {
  Bytes out{0xF0};
  for (std::uint8_t b : body) {
    if (b == 0xF0) {
      out.insert(out.end(), {0x1B, 0x01});
    } else if (b == 0x1B) {
      out.insert(out.end(), {0x1B, 0x02});
    } else {
      out.push_back(b);
    }
  }
  out.push_back(0xF0);
  return out;
}

// address + payload + CRC (high byte first), unstuffed.
inline Bytes with_crc(Bytes body) {
  std::uint16_t crc = hardware::CrcEngine::compute(body.data(), body.size());
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  return body;
}

// Undoes the stuffing of a frame written by a channel: the bytes between the start and the
// end mark, or an empty vector when the framing is wrong.
inline Bytes unstuff_frame(const Bytes& wire) {
  if (wire.size() < 4 || wire[0] != 0xFF || wire[1] != 0xF0 || wire.back() != 0xF0) return {};
  Bytes out;
  for (std::size_t i = 2; i + 1 < wire.size(); ++i) {
    if (wire[i] == 0xF0) return {};
    if (wire[i] == 0x1B) {
      if (i + 2 >= wire.size()) return {};
      std::uint8_t next = wire[++i];
      if (next == 0x01) {
        out.push_back(0xF0);
      } else if (next == 0x02) {
        out.push_back(0x1B);
      } else {
        return {};
      }
    } else {
      out.push_back(wire[i]);
    }
  }
  return out;
}

// Two channels: `device` answers the way a bus device would, `station` is under test.
// Each has its own port; deliver() moves what the device wrote to the station's input.
struct ChannelPair {
  explicit ChannelPair(int log_level = -1) {
    log.set_file(dir.file("packets.log"));
    log.set_threshold(log_level);
  }
  void deliver() {
    station_port.queue(device_port.written);
    device_port.written.clear();
  }
  std::string log_text() const { return testing_support::read_file(dir.file("packets.log")); }

  testing_support::TempDir dir;
  testing_support::FakeClock clock;
  lib::LineLogger log{-1, clock, lib::posix_file_system()};
  lib::LineLogger quiet{-1, clock, lib::posix_file_system()};
  hardware::MemoryPacketPort device_port;
  hardware::MemoryPacketPort station_port;
  hardware::PacketChannel device{device_port, quiet, quiet};
  hardware::PacketChannel station{station_port, log, log};
};

}  // namespace packet_testing
