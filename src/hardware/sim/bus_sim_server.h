// Runs a simulated bus device behind a line (the master side of a pseudo-terminal, or any serial
// device) on its own thread until stopped. The device is shared with the caller, who may
// change its values and faults at any time under device_lock().
#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "hardware/sim/sim_bus_device.h"
#include "lib/byte_port.h"

namespace hardware {

class BusSimServer {
 public:
  // How long one wait for bytes lasts, so a stop request is seen promptly.
  static constexpr int kPollMs = 20;

  BusSimServer(std::unique_ptr<lib::BytePort> line, SimBusDevice& device);
  ~BusSimServer();  // stops and joins the thread
  BusSimServer(const BusSimServer&) = delete;
  BusSimServer& operator=(const BusSimServer&) = delete;

  void start();
  void stop();
  std::mutex& device_lock() { return device_lock_; }

 private:
  void run(std::stop_token stop);

  std::unique_ptr<lib::BytePort> line_;
  SimBusDevice& device_;
  std::mutex device_lock_;
  std::jthread thread_;
};

}  // namespace hardware
