// Decoding of older-bus readings: the unpacking of one 60-byte module block into a reading
// (continuity check, rates, rails), and a whole exchange through the serial port's frame
// check over a line in memory; a whole 2017 bus polling pass over such a line.
#include <benchmark/benchmark.h>

#include <deque>

#include "hardware/comm_protocols.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/old_bus_device.h"

namespace {

// A line whose far end is a simulated module answering at once.
class LoopbackLine : public lib::BytePort {
 public:
  explicit LoopbackLine(hardware::SimBusDevice& device) : device_(device) {}
  bool open(const std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  bool set_baud_rate(int) override { return true; }
  int read_some(std::uint8_t* buf, std::size_t room, int) override {
    if (rx_.empty()) return kTimedOut;
    std::size_t n = 0;
    while (n < room && !rx_.empty()) {
      buf[n++] = rx_.front();
      rx_.pop_front();
    }
    return static_cast<int>(n);
  }
  bool write_all(const std::uint8_t* data, std::size_t size) override {
    const auto reply = device_.feed(std::span<const std::uint8_t>(data, size));
    rx_.insert(rx_.end(), reply.begin(), reply.end());
    return true;
  }
  bool drain() override { return true; }
  bool discard_input() override {
    rx_.clear();
    return true;
  }
  bool set_rts(bool) override { return false; }
  int native_handle() const override { return -1; }
  std::string last_error() const override { return {}; }

 private:
  hardware::SimBusDevice& device_;
  std::deque<std::uint8_t> rx_;
  bool open_ = false;
};

void BM_DecodeBlock(benchmark::State& state) {
  hardware::CommProtocols hub(hardware::CommProtocols::kStationMask, {});
  hardware::OldBusDevice device;
  for (std::size_t i = 0; i < device.adc.size(); ++i)
    device.adc[i] = static_cast<std::uint16_t>(i * 170);
  device.rate_words = {0x0005, 0x8004, 0x8000, 0x0100};
  std::vector<std::array<std::uint8_t, 60>> blocks;
  for (int n = 0; n < 256; ++n) blocks.push_back(device.make_block(static_cast<std::uint8_t>(n)));
  hardware::CommIncomData data;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(hub.read_data_new_process_data(data, blocks[i], 0));
    i = (i + 1) & 0xFF;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeBlock);

void BM_ExchangeInMemory(benchmark::State& state) {
  hardware::OldBusDevice device;
  hardware::CommProtocolsEnv env;
  env.line = std::make_unique<LoopbackLine>(device);
  env.sleep = [](int) {};
  hardware::CommProtocols hub(hardware::CommProtocols::kStationMask, std::move(env));
  hub.get_port().open("loopback");
  hub.configure_port(hardware::kProtocolNewPult, 0);
  hardware::CommIncomData data;
  for (auto _ : state) {
    benchmark::DoNotOptimize(hub.read_data(hardware::kProtocolNewPult, "", data));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExchangeInMemory);

// One polling pass of the 2017 bus over `modules` modules (half of data version 0, half of
// 101) and a console: every device's request enciphered, its reply deciphered, checked and
// unpacked. The simulator's own work (deciphering requests, building replies) is included.
void BM_Poll2017Pass(benchmark::State& state) {
  const int modules = static_cast<int>(state.range(0));
  hardware::Bus2017Sim sim;
  std::string addresses;
  for (int a = 1; a <= modules; ++a) {
    sim.add_module(static_cast<std::uint8_t>(a), a % 2 ? 0 : 101).adc[0] =
        static_cast<std::uint16_t>(a);
    addresses += std::to_string(a) + ",";
  }
  sim.add_console(65);
  addresses += "65";
  hardware::CommProtocolsEnv env;
  env.line = std::make_unique<LoopbackLine>(sim);
  env.sleep = [](int) {};
  hardware::CommProtocols hub(hardware::CommProtocols::kStationMask, std::move(env));
  hub.get_port().open("loopback");
  hub.configure_port(hardware::kProtocol2017, 0);
  for (auto _ : state) {
    hardware::CommIncomData data;
    if (!hub.read_data(hardware::kProtocol2017, addresses, data))
      state.SkipWithError("pass failed");
    sim.clear_requests();
  }
  state.SetItemsProcessed(state.iterations() * (modules + 1));
}
BENCHMARK(BM_Poll2017Pass)->Arg(1)->Arg(8)->Arg(32);

}  // namespace
