// The 2017 bus simulator fed a line made of real request frames (any address, command and
// data, cut into chunks of any size) mixed with raw bytes: it never reads or writes out of
// bounds, and whatever it answers is made of frames the station's receive code accepts,
// from an address where a device sits.
//
// Input: a sequence of items. A control byte with bit 7 set is followed by (control & 0x3F)
// raw bytes; otherwise it is followed by address, command, a length byte (taken modulo 48)
// and that many data bytes, sent as one frame in chunks of (control & 0x0F) + 1 bytes.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "hardware/bus2017/packet_channel.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/memory_packet_port.h"

namespace {

void check_replies(const std::vector<std::uint8_t>& reply, hardware::Bus2017Sim& bus,
                   lib::LineLogger& log) {
  if (reply.empty()) return;
  hardware::MemoryPacketPort port;
  port.queue(reply);
  hardware::PacketChannel station(port, log, log);
  while (!port.incoming.empty()) {
    std::uint8_t addr = 0, cmd = 0, out[256];
    std::uint16_t len = 0;
    if (!station.ReceivePacket(addr, cmd, len, out, sizeof out, false)) __builtin_trap();
    const auto here = bus.addresses();
    if (std::find(here.begin(), here.end(), addr) == here.end()) __builtin_trap();
    if (len > hardware::bus2017::kModuleReplyRoom) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static lib::LineLogger log(-1, lib::system_clock(), lib::posix_file_system());
  hardware::Bus2017Sim bus;
  bus.delay = [](int) {};
  bus.add_module(1);
  bus.add_module(2, hardware::bus2017::kDataVersion101).dol = {-70000, 70000};
  bus.add_module(200, 7);
  bus.add_indicator(33, 3);
  bus.add_console(65);
  bus.module(1)->dol = {100000, -100000};  // more than one int16 increment can carry
  bus.faults(1).duplicates = 2;
  bus.faults(33).answers_left = 3;
  bus.faults(65).drop_next = 1;
  bus.faults(65).reply_delay_ms = 5;

  hardware::MemoryPacketPort sink;
  hardware::PacketChannel request_channel(sink, log, log);
  std::size_t pos = 0;
  while (pos < size) {
    const std::uint8_t control = data[pos++];
    if (control & 0x80) {
      const std::size_t n = std::min<std::size_t>(control & 0x3F, size - pos);
      check_replies(bus.feed(std::span(data + pos, n)), bus, log);
      pos += n;
      continue;
    }
    if (size - pos < 3) break;
    const std::uint8_t address = data[pos];
    const std::uint8_t command = data[pos + 1];
    const std::size_t len = std::min<std::size_t>(data[pos + 2] % 48, size - pos - 3);
    pos += 3;
    sink.written.clear();
    request_channel.SendPacket(address, command, data + pos, static_cast<unsigned>(len));
    pos += len;
    const std::size_t chunk = (control & 0x0F) + 1u;
    for (std::size_t at = 0; at < sink.written.size(); at += chunk) {
      const std::size_t n = std::min(chunk, sink.written.size() - at);
      check_replies(bus.feed(std::span(sink.written.data() + at, n)), bus, log);
    }
  }
  return 0;
}
