// Whatever the devices of a 2017 bus answer, a polling pass, an output pass and a module
// configuration read end within their limits, without reading out of bounds. The input is
// the bus: the addresses to serve, then the replies in turn, each either a real frame
// around arbitrary plain text (so the reply layouts are reached past the frame CRC) or raw
// bytes on the line.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "hardware/bus2017/bus2017_module_config.h"
#include "hardware/bus2017/packet_channel.h"
#include "hardware/comm_protocols.h"
#include "hardware/sim/memory_packet_port.h"
#include "lib/byte_port.h"

namespace {

class FuzzClock : public lib::Clock {
 public:
  lib::LocalTime local_now() override { return {1700000000, 0}; }
  std::int64_t steady_ms() override { return now; }
  std::int64_t now = 1000;
};

// Each write is answered by the next reply of the input; silence costs the whole time-out.
class FuzzLine : public lib::BytePort {
 public:
  FuzzLine(std::deque<std::vector<std::uint8_t>>& replies, FuzzClock& clock)
      : replies_(replies), clock_(clock) {}
  bool open(const std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  bool set_baud_rate(int) override { return true; }
  int read_some(std::uint8_t* buf, std::size_t room, int timeout_ms) override {
    if (rx_.empty()) {
      clock_.now += timeout_ms;
      return kTimedOut;
    }
    std::size_t n = 0;
    while (n < room && !rx_.empty()) {
      buf[n++] = rx_.front();
      rx_.pop_front();
    }
    return static_cast<int>(n);
  }
  bool write_all(const std::uint8_t*, std::size_t) override {
    if (!replies_.empty()) {
      rx_.insert(rx_.end(), replies_.front().begin(), replies_.front().end());
      replies_.pop_front();
    }
    return true;
  }
  bool drain() override { return true; }
  bool discard_input() override {
    rx_.clear();
    return true;
  }
  bool set_rts(bool) override { return true; }
  int native_handle() const override { return open_ ? 3 : -1; }
  std::string last_error() const override { return {}; }

 private:
  std::deque<std::vector<std::uint8_t>>& replies_;
  FuzzClock& clock_;
  std::deque<std::uint8_t> rx_;
  bool open_ = false;
};

// Frames the replies. Sending keeps nothing from one packet to the next, so one channel,
// with its cipher and checksum tables, serves every input.
struct Framer {
  lib::LineLogger quiet{-1, lib::system_clock(), lib::posix_file_system()};
  hardware::MemoryPacketPort port;
  hardware::PacketChannel channel{port, quiet, quiet};
};
Framer* framer = nullptr;

std::vector<std::uint8_t> frame(std::uint8_t address, std::uint8_t command,
                                const std::uint8_t* data, unsigned len) {
  framer->port.written.clear();
  framer->channel.SendPacket(address, command, data, len);
  return framer->port.written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  framer = new Framer;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t pos = 0;
  auto take = [&]() -> int { return pos < size ? data[pos++] : -1; };

  std::string addresses;
  const int count = take();
  for (int i = 0; i < (count < 0 ? 0 : count % 6); ++i) {
    const int a = take();
    if (a < 0) break;
    addresses += (addresses.empty() ? "" : ",") + std::to_string(a);
  }

  std::deque<std::vector<std::uint8_t>> replies;
  while (pos + 3 <= size && replies.size() < 200) {
    const int kind = take();
    const int address = take();
    const int len = take();
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(len), size - pos);
    if (kind & 1) {
      replies.emplace_back(data + pos, data + pos + n);  // raw bytes
    } else if (n == 0) {
      replies.push_back(frame(static_cast<std::uint8_t>(address), 0, nullptr, 0));
    } else {
      replies.push_back(frame(static_cast<std::uint8_t>(address), data[pos], data + pos + 1,
                              static_cast<unsigned>(n - 1)));
    }
    pos += n;
  }

  FuzzClock clock;
  hardware::CommProtocolsEnv env;
  env.clock = &clock;
  env.sleep = [&clock](int ms) { clock.now += ms; };
  env.line = std::make_unique<FuzzLine>(replies, clock);
  hardware::CommProtocols hub(hardware::CommProtocols::kStationMask, std::move(env));
  hub.get_port().open("/dev/fuzz");
  hub.configure_port(hardware::kProtocol2017, 0);

  for (int pass = 0; pass < 3 && !replies.empty(); ++pass) {
    hardware::CommIncomData reading;
    const std::int64_t start = clock.now;
    hub.read_data(hardware::kProtocol2017, addresses, reading);
    // The pass budget, plus one address's three attempts that began inside it.
    if (clock.now - start > 2000 + 3 * 2 * 1000 + 100) __builtin_trap();
    for (const auto& [address, record] : reading.modules)
      if (record.adc.size() > 48 || record.freq.size() > 16) __builtin_trap();
  }
  hardware::CommOutData out;
  out.pults[65].values = {1, 2};
  out.indicators[33].data = {3};
  hub.send_data(hardware::kProtocol2017, addresses, out);
  hardware::ModuleConfig2017 config{};
  hardware::read_module_config_2017(hub, hardware::bus2017::kAnyAddress, config);
  return 0;
}
