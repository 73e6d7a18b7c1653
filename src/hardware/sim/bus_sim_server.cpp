#include "hardware/sim/bus_sim_server.h"

#include <chrono>

namespace hardware {

BusSimServer::BusSimServer(std::unique_ptr<lib::BytePort> line, SimBusDevice& device)
    : line_(std::move(line)), device_(device) {}

BusSimServer::~BusSimServer() {
  stop();
}

void BusSimServer::start() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void BusSimServer::stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

void BusSimServer::run(std::stop_token stop) {
  std::uint8_t buf[256];
  while (!stop.stop_requested()) {
    const int got = line_->read_some(buf, sizeof buf, kPollMs);
    if (got == lib::BytePort::kFailed) {
      // The station side of a pseudo-terminal is not open yet, or was closed: wait for it.
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    if (got <= 0) continue;
    std::vector<std::uint8_t> reply;
    {
      std::lock_guard guard(device_lock_);
      reply = device_.feed(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(got)));
    }
    if (!reply.empty()) line_->write_all(reply.data(), reply.size());
  }
}

}  // namespace hardware
