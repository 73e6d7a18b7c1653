// Runs an OldBusDevice behind a line (the master side of a pseudo-terminal, or any serial
// device) on its own thread until stopped. The device is shared with the caller, who may
// change its values and faults at any time under device_lock().
#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "hardware/old_bus_device.h"
#include "lib/byte_port.h"

namespace hardware {

class OldBusSimServer {
 public:
  // How long one wait for bytes lasts, so a stop request is seen promptly.
  static constexpr int kPollMs = 20;

  OldBusSimServer(std::unique_ptr<lib::BytePort> line, OldBusDevice& device);
  ~OldBusSimServer();  // stops and joins the thread
  OldBusSimServer(const OldBusSimServer&) = delete;
  OldBusSimServer& operator=(const OldBusSimServer&) = delete;

  void start();
  void stop();
  std::mutex& device_lock() { return device_lock_; }

 private:
  void run(std::stop_token stop);

  std::unique_ptr<lib::BytePort> line_;
  OldBusDevice& device_;
  std::mutex device_lock_;
  std::jthread thread_;
};

}  // namespace hardware
