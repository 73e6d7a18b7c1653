// The station side of the 2017 field bus (protocol id 10): one polling pass over the
// configured addresses, one output pass to consoles and indicators, and the single
// exchanges they are made of. The addresses to serve are the hub's port text read as a
// comma-separated list ("1,2,33,65"); bytes on the line are packet frames (PacketChannel).
//
// Every exchange runs under the hub's port lock (read_data and send_data take it before
// calling in here); the output pass also takes the output lock. Each attempt of an exchange
// uses a fresh PacketChannel, so nothing of a failed attempt leaks into the next.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hardware/bus2017/bus2017_format.h"
#include "hardware/comm_incom_data.h"
#include "hardware/comm_out_data.h"

namespace hardware {

class CommProtocols;

namespace bus2017 {
// A polling pass stops before the next address once it has run this long.
inline constexpr std::int64_t kPassBudgetMs = 2000;
inline constexpr int kReadAttempts = 3;
// A console that only repeats its last block is asked again, but not more than this many
// times in a row within a pass.
inline constexpr int kMaxConsoleDuplicates = 30;
// One receive gives up after this long even while garbage keeps arriving.
inline constexpr std::int64_t kReceiveBudgetMs = 1000;
// What a reading's address sets hold after a pass.
inline constexpr int kSetModules = 0;     // modules that delivered data
inline constexpr int kSetConsoles = 1;    // consoles that delivered data
inline constexpr int kSetIndicators = 2;  // indicators that reported their type
}  // namespace bus2017

// The addresses of a port text in order, without 0, duplicates and anything that is not a
// bus address (1..255).
std::vector<int> parse_bus_addresses(const std::string& port_text);

// One polling pass. Modules and consoles that deliver data get their records in `data`
// (and the type 99 in the hub's device-type map), indicators their reported type. True
// when at least one module or console delivered accepted data. The reading's address sets
// list what answered in this pass; address_blocks keep each device's last raw reply.
bool read_data_2017(CommProtocols& hub, CommIncomData& data);

// One output pass over the addresses of the port text. A console with an entry in
// `out.pults` gets its values (0x82), then its configuration (0x83), both always, an empty
// block as the bare command; an indicator with an entry in `out.indicators` gets its data
// (0x01) unless the block is empty. Writes are not retried; a missing result is logged.
void send_data_2017(CommProtocols& hub, CommOutData& out);

// Module data (0x01), up to 3 attempts. On success `reply` holds the data bytes (at most
// 148) and `data_version` the version they carry: 0 for exactly 138 bytes, otherwise the
// first word.
bool read_data_2017_one_address(CommProtocols& hub, int address, std::vector<std::uint8_t>& reply,
                                int& data_version);
// A console's 60-byte block (0x80), up to 3 attempts.
bool read_data_2017_old_one_address(CommProtocols& hub, int address,
                                    std::array<std::uint8_t, bus2017::kConsoleBlockSize>& block);
// An indicator's type (0x02 answered by 0x03), up to 3 attempts.
bool read_indy_2017_type(CommProtocols& hub, int address, std::uint8_t& type);

// Receive only: a result reply (command 0x00) from `address`; its data byte is the result.
bool read_data_2017_result(CommProtocols& hub, int address, std::uint8_t& result);
// Receive only, with the inner checksum: `room` data bytes from `address` (from any address
// when it is 0xFE). `length` and `from` receive the count and the sender's address.
bool read_data_2017_buffer(CommProtocols& hub, int address, std::uint8_t* buffer, unsigned room,
                           std::uint16_t* length = nullptr, int* from = nullptr);
// Sends one request frame on a fresh channel; false when it could not be sent.
bool send_packet_2017(CommProtocols& hub, int address, std::uint8_t command,
                      std::span<const std::uint8_t> data);

// Unpacks a module data reply of version 0 or 101 into the module's record after the
// continuity check. False (the record keeping its previous values) when the packet is a
// duplicate, the version is not understood or the reply is too short for its version.
bool unpack_module_reply_2017(CommProtocols& hub, CommIncomData& data, int address,
                              std::span<const std::uint8_t> reply, int data_version);

}  // namespace hardware
