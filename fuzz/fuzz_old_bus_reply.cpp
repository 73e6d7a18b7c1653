// Arbitrary bytes as a module's answer on the older bus, and as traffic reaching the
// simulated module. The station must never crash or read past the input; a reply it
// accepts must be a valid frame that is present in the input; the module must answer only
// with well-formed replies.
#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>

#include "hardware/bus_old/old_bus_frame.h"
#include "hardware/comm_port.h"
#include "hardware/sim/old_bus_device.h"

namespace {

class BytesLine : public lib::BytePort {
 public:
  std::deque<std::uint8_t> reply;
  bool open(const std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  bool set_baud_rate(int) override { return true; }
  int read_some(std::uint8_t* buf, std::size_t room, int) override {
    if (pending_.empty()) return kTimedOut;
    std::size_t n = 0;
    // Small pieces, so frames split across reads are exercised too.
    while (n < room && n < 7 && !pending_.empty()) {
      buf[n++] = pending_.front();
      pending_.pop_front();
    }
    return static_cast<int>(n);
  }
  bool write_all(const std::uint8_t*, std::size_t) override {
    pending_ = reply;  // the answer arrives after the request
    return true;
  }
  bool drain() override { return true; }
  bool discard_input() override {
    pending_.clear();
    return true;
  }
  bool set_rts(bool) override { return false; }
  int native_handle() const override { return -1; }
  std::string last_error() const override { return "none"; }

 private:
  std::deque<std::uint8_t> pending_;
  bool open_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto line = std::make_unique<BytesLine>();
  BytesLine* raw = line.get();
  raw->reply.assign(data, data + size);
  lib::CommPort port(std::move(line), {}, lib::system_clock());
  port.open("fuzz");
  port.set_time_out(1000);  // the line never waits: an empty line times out at once
  std::array<std::uint8_t, 60> block{};
  if (port.read_data2(block.data(), block.size(), false, "SP")) {
    const auto frame = lib::old_bus::encode_reply("SP", block);
    if (std::search(data, data + size, frame.begin(), frame.end()) == data + size) __builtin_trap();
  }

  hardware::OldBusDevice device;
  const auto out = device.feed(std::span<const std::uint8_t>(data, size));
  // Every answer is a sequence of complete 66-byte replies to known commands.
  if (out.size() % 66 != 0) __builtin_trap();
  for (std::size_t at = 0; at < out.size(); at += 66) {
    const std::span<const std::uint8_t> frame(out.data() + at, 66);
    const std::string command{static_cast<char>(frame[1]), static_cast<char>(frame[2])};
    if (lib::old_bus::check_reply(frame, command, 60) != lib::old_bus::ReplyCheck::kOk)
      __builtin_trap();
  }
  return 0;
}
