// The device side of the older field bus: one I/O module (or console) that answers "SP",
// "2P" and "4P" with its 60-byte block. Used by the bus simulator and by tests, so the
// station's exchanges can be run against something that behaves like a module, faults
// included: packet numbers that repeat, skip or restart, and replies that are garbled,
// cut short, too long or missing.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hardware/bus_old/old_block.h"
#include "hardware/sim/sim_bus_device.h"

namespace hardware {

class OldBusDevice : public SimBusDevice {
 public:
  // What the module reports; change freely between exchanges.
  std::array<std::uint16_t, old_block::kAdcChannels> adc =
      sim_start_adc_words<old_block::kAdcChannels>();
  std::uint16_t counter = 0;
  std::array<std::uint16_t, old_block::kRateInputs> rate_words{};  // by rate input 0..3
  std::uint8_t status = 0;

  // Periodic packet-number faults, every n-th reply (0 = never).
  int repeat_every = 0;
  int skip_every = 0;  // the reply after it jumps by 3 (two packets lost)
  int restart_every = 0;

  // One-shot faults, each consumed by the next replies.
  int silent_replies = 0;   // no reply at all
  int garbled_replies = 0;  // one data byte flipped after the checksum was made
  int short_replies = 0;    // the last bytes of the frame are not sent
  int long_replies = 0;     // stray bytes follow the frame

  // Packet-number faults for the next reply.
  void repeat_next() { repeat_next_ = true; }
  void skip_next(int lost) { skip_ = lost; }
  void restart_next() { restart_next_ = true; }
  std::uint8_t next_packet_number() const { return next_packet_; }

  // Takes bytes from the line; returns what the device sends back.
  std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes) override;

  // The block the module would send with the given packet number.
  std::array<std::uint8_t, old_block::kSize> make_block(std::uint8_t packet_number) const;

  std::uint64_t replies() const { return replies_; }
  std::uint64_t requests() const { return requests_; }
  // Output blocks received from the station (console output), oldest first.
  const std::vector<std::vector<std::uint8_t>>& outputs() const { return outputs_; }
  std::string last_command() const { return last_command_; }

 private:
  std::vector<std::uint8_t> answer(const std::string& command);
  std::uint8_t take_packet_number();

  std::vector<std::uint8_t> pending_;
  std::uint8_t next_packet_ = 0;
  bool repeat_next_ = false;
  bool restart_next_ = false;
  int skip_ = 0;
  std::uint64_t replies_ = 0;
  std::uint64_t requests_ = 0;
  std::vector<std::vector<std::uint8_t>> outputs_;
  std::string last_command_;
};

}  // namespace hardware
