// The device side of a whole 2017 field bus: I/O modules, indicator panels and consoles at
// their addresses, each answering the station's enciphered request frames with real reply
// frames, so the station's protocol code can be run against something that behaves like
// the bus, faults included. Used by `rigstation sim bus2017` and by tests.
//
// Like a real device, the bus drops whatever it cannot read (bad frame CRC, broken
// stuffing, a payload that does not decipher) without a word, and a request to an address
// where nothing sits, or with a command the device there does not know, gets no answer.
// docs/bus-2017-devices.md lists the commands and reply layouts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "hardware/bus2017/bus2017_format.h"
#include "hardware/bus2017/bus_cipher_key.h"
#include "hardware/bus2017/packet_channel.h"
#include "hardware/bus2017/packet_cipher.h"
#include "hardware/bus2017/rx_packet.h"
#include "hardware/bus_old/old_block.h"
#include "hardware/sim/memory_packet_port.h"
#include "hardware/sim/sim_bus_device.h"
#include "lib/line_logger.h"

namespace hardware {

// Faults of one address; all off by default. A request that a fault leaves unanswered is
// not acted on either (as if it was lost on the line): a write is not stored, a packet
// number does not advance. Faults count only requests the device understands.
struct Bus2017SimFaults {
  bool silent = false;    // never answers anything
  int answers_left = -1;  // answers this many more requests, then silent (-1 = no limit)
  int drop_next = 0;      // the next N requests get no answer (a retry recovers)
  // The next N replies carry a broken frame CRC. The device did act on the request: a
  // write is stored and the packet number moves on, as when a reply is hit by line noise.
  int garble_next = 0;
  // The next N data replies (0x01 to a module, 0x80 to a console) repeat the previous data
  // reply, packet number and content. Waits for a first reply when there is none yet.
  int duplicates = 0;
  std::uint8_t result =
      0;  // result byte answered to writes (0x82, 0x83, 0x01 to an indicator, 0x12)
  int reply_delay_ms = 0;  // the reply is held back this long (see Bus2017Sim::delay)
};

// An I/O module: any address outside 33..96.
struct Bus2017SimModule {
  // 0: the 138-byte reply; 101: the 146-byte reply; any other value: a 146-byte reply laid
  // out like version 101 but carrying that version word, which the station must ignore.
  std::uint16_t data_version = 0;
  std::array<std::uint16_t, bus2017::kAdcWords> adc = sim_start_adc_words<bus2017::kAdcWords>();
  // Version 0: what the winch sensor moved since the last reply; each reply sends it as
  // signed 16-bit increments and keeps only what did not fit (beyond -32768..32767).
  // Other versions: the absolute counts, sent as they are.
  std::array<std::int32_t, bus2017::kDolChannels> dol{};
  std::array<std::uint16_t, bus2017::kRatePeriods> periods{};
  std::uint8_t status_a = 0, status_b = 0;
  std::uint16_t flags = 0;
  // Packet number of the next data reply; wraps at 16 bits in version 0.
  std::uint32_t next_packet = 1;
  std::array<std::uint8_t, bus2017::kModuleConfigSize>
      config{};  // answered to 0x10, replaced by 0x12
};

// An indicator panel, 33..64. `received` holds the data blocks of 0x01 writes, oldest first.
struct Bus2017SimIndicator {
  std::uint8_t type = 1;
  std::vector<std::vector<std::uint8_t>> received;
};

// A console, 65..96: answers 0x80 with the 60-byte block of the older bus.
struct Bus2017SimConsole {
  std::array<std::uint16_t, old_block::kAdcChannels> adc{};
  std::uint16_t counter = 0;
  std::array<std::uint16_t, old_block::kRateInputs> rate_words{};  // by rate input 0..3
  std::uint8_t status = 0;
  std::uint8_t next_packet = 1;                            // the block's 8-bit packet number
  std::vector<std::vector<std::uint8_t>> received_values;  // 0x82 data blocks
  std::vector<std::vector<std::uint8_t>> received_config;  // 0x83 data blocks
};

struct Bus2017SimRequest {
  std::uint8_t address;
  std::uint8_t command;
  std::vector<std::uint8_t> data;
};

class Bus2017Sim : public SimBusDevice {
 public:
  explicit Bus2017Sim(const BusCipherKey& key = configured_bus_cipher_key());
  Bus2017Sim(const Bus2017Sim&) = delete;
  Bus2017Sim& operator=(const Bus2017Sim&) = delete;

  // Each puts a new device with default values at the address, replacing whatever sat
  // there. An address outside the kind's range throws std::invalid_argument. The reference
  // stays valid until the address is removed or replaced.
  Bus2017SimModule& add_module(std::uint8_t address, std::uint16_t data_version = 0);
  Bus2017SimIndicator& add_indicator(std::uint8_t address, std::uint8_t type);
  Bus2017SimConsole& add_console(std::uint8_t address);
  // Takes the device and its faults off the bus.
  void remove(std::uint8_t address);

  // nullptr when there is no such device at the address.
  Bus2017SimModule* module(std::uint8_t address);
  Bus2017SimIndicator* indicator(std::uint8_t address);
  Bus2017SimConsole* console(std::uint8_t address);
  // Addresses with a device, ascending.
  std::vector<std::uint8_t> addresses() const;

  // Made on first use; kept while the address has no device.
  Bus2017SimFaults& faults(std::uint8_t address);

  // Bytes may come in any chunks; a partial frame waits for the rest.
  std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes) override;

  // Every well-formed request frame seen, in order, answered or not.
  const std::vector<Bus2017SimRequest>& requests() const { return requests_; }
  void clear_requests() { requests_.clear(); }
  // Reply frames sent since the bus was made.
  std::uint64_t replies_sent() const { return replies_sent_; }

  // How a reply delay is spent; by default the calling thread sleeps. Tests on a fake clock
  // advance the clock here instead.
  std::function<void(int ms)> delay;

 private:
  struct Reply {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> data;
  };

  std::vector<std::uint8_t> handle(const Bus2017SimRequest& request);
  // The address of the device that a request reaches; nullopt when none does.
  std::optional<std::uint8_t> target_of(const Bus2017SimRequest& request) const;
  // Whether the device at `address` answers the command at all.
  bool understands(std::uint8_t address, const Bus2017SimRequest& request) const;
  // Acts on an understood request and makes the reply.
  Reply answer(std::uint8_t address, const Bus2017SimRequest& request);
  std::vector<std::uint8_t> module_data(Bus2017SimModule& module);
  std::vector<std::uint8_t> console_data(Bus2017SimConsole& console);
  // The previous data reply again while duplicates are asked for, else a fresh one.
  template <typename Make>
  std::vector<std::uint8_t> data_reply(std::uint8_t address, Make make);
  std::vector<std::uint8_t> frame(std::uint8_t address, const Reply& reply);
  void forget(std::uint8_t address);

  std::map<std::uint8_t, Bus2017SimModule> modules_;
  std::map<std::uint8_t, Bus2017SimIndicator> indicators_;
  std::map<std::uint8_t, Bus2017SimConsole> consoles_;
  std::map<std::uint8_t, Bus2017SimFaults> faults_;
  std::map<std::uint8_t, std::vector<std::uint8_t>> last_data_reply_;
  std::vector<Bus2017SimRequest> requests_;
  std::uint64_t replies_sent_ = 0;

  BusRxPacket rx_;
  PacketCipher cipher_;
  std::array<std::uint8_t, packet_format::kWorkBufferSize> text_{};
  // Replies go through the station's own channel code, so they are real frames.
  // Below every level: it never reads the clock nor writes a file.
  lib::LineLogger quiet_log_{-1, lib::system_clock(), lib::posix_file_system()};
  MemoryPacketPort reply_port_;
  PacketChannel reply_channel_;
};

}  // namespace hardware
