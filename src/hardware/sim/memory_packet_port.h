// A byte port over memory: what is written is kept, reads take queued bytes and then time
// out. Serves tests, fuzzing, benchmarks and in-process simulation of bus devices.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "hardware/bus2017/packet_port.h"

namespace hardware {

class MemoryPacketPort : public PacketPort {
 public:
  bool write(std::span<const std::uint8_t> bytes) override {
    if (fail_writes) return false;
    written.insert(written.end(), bytes.begin(), bytes.end());
    if (on_write) on_write(bytes);
    return true;
  }
  void flush() override { ++flushes; }
  int read_byte() override {
    ++reads;
    if (on_read) on_read();
    if (incoming.empty()) return error_when_empty;
    int b = incoming.front();
    incoming.pop_front();
    return b;
  }

  void queue(std::span<const std::uint8_t> bytes) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
  }

  std::vector<std::uint8_t> written;
  std::deque<std::uint8_t> incoming;
  int error_when_empty = packet_format::kReadTimeout;
  bool fail_writes = false;
  int flushes = 0;
  long reads = 0;
  // Called with each written block (a simulated device answers here) and before each read.
  std::function<void(std::span<const std::uint8_t>)> on_write;
  std::function<void()> on_read;
};

}  // namespace hardware
