// A serial line in memory for the bus tests: what the station writes goes to a simulated
// bus device (when attached) whose answer becomes the next bytes to read. Waiting for
// bytes that never come advances the fake clock by the whole time-out, so silence costs no
// real time. The state is shared, so a test keeps its handle after the port takes the line.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "hardware/sim/sim_bus_device.h"
#include "lib/byte_port.h"
#include "support/fakes.h"

namespace bus_testing {

struct LineState {
  bool open = false;
  bool fail_open = false;
  bool vanished = false;  // the device went away: every call fails, opening too
  int opens = 0;
  bool rts_supported = true;
  int rts_changes = 0;
  int baud = 0;
  std::deque<std::uint8_t> rx;
  std::vector<std::uint8_t> written;
  std::vector<std::uint8_t> noise_before_reply;  // sent ahead of the device's answer
  hardware::SimBusDevice* device = nullptr;
  testing_support::FakeClock* clock = nullptr;
};

class ScriptedLine : public lib::BytePort {
 public:
  explicit ScriptedLine(std::shared_ptr<LineState> state) : s_(std::move(state)) {}

  bool open(const std::string&) override {
    ++s_->opens;
    return s_->open = !s_->fail_open && !s_->vanished;
  }
  void close() override { s_->open = false; }
  bool is_open() const override { return s_->open; }
  bool set_baud_rate(int baud) override {
    s_->baud = baud;
    return s_->open;
  }
  int read_some(std::uint8_t* buf, std::size_t room, int timeout_ms) override {
    if (!s_->open || s_->vanished) return kFailed;
    if (s_->rx.empty()) {
      if (s_->clock) s_->clock->steady += timeout_ms;
      return kTimedOut;
    }
    std::size_t n = 0;
    while (n < room && !s_->rx.empty()) {
      buf[n++] = s_->rx.front();
      s_->rx.pop_front();
    }
    return static_cast<int>(n);
  }
  bool write_all(const std::uint8_t* data, std::size_t size) override {
    if (!s_->open || s_->vanished) return false;
    s_->written.insert(s_->written.end(), data, data + size);
    if (s_->device) {
      const auto reply = s_->device->feed(std::span<const std::uint8_t>(data, size));
      if (!reply.empty()) {
        s_->rx.insert(s_->rx.end(), s_->noise_before_reply.begin(), s_->noise_before_reply.end());
        s_->rx.insert(s_->rx.end(), reply.begin(), reply.end());
      }
    }
    return true;
  }
  bool drain() override { return s_->open; }
  bool discard_input() override {
    s_->rx.clear();
    return s_->open;
  }
  bool set_rts(bool) override {
    ++s_->rts_changes;
    return s_->rts_supported;
  }
  int native_handle() const override { return s_->open ? 3 : -1; }
  std::string last_error() const override { return "scripted failure"; }

 private:
  std::shared_ptr<LineState> s_;
};

}  // namespace bus_testing
