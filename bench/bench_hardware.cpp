// Decoding of older-bus readings: the unpacking of one 60-byte module block into a reading
// (continuity check, rates, rails), and a whole exchange through the serial port's frame
// check over a line in memory.
#include <benchmark/benchmark.h>

#include <deque>

#include "hardware/comm_protocols.h"
#include "hardware/old_bus_device.h"

namespace {

// A line whose far end is a simulated module answering at once.
class LoopbackLine : public lib::BytePort {
 public:
  explicit LoopbackLine(hardware::OldBusDevice& device) : device_(device) {}
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
  hardware::OldBusDevice& device_;
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

}  // namespace
