#include "hardware/bus2017/bus2017_protocol.h"

#include <algorithm>
#include <set>

#include "hardware/bus2017/comm_port_packet_port.h"
#include "hardware/bus2017/packet_channel.h"
#include "hardware/comm_protocols.h"
#include "lib/str_utils.h"

namespace hardware {

using namespace bus2017;

namespace {

constexpr int kLogError = 2;
constexpr int kLogTimeout = 3;
constexpr int kLogProgress = 4;
constexpr int kLogDetail = 5;

std::string str(int v) {
  return std::to_string(v);
}

struct Reply {
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::uint16_t length = 0;
};

bool receive(CommProtocols& hub, std::uint8_t* out, unsigned room, bool checksum, Reply& reply) {
  CommPortPacketPort port(hub.get_port());
  PacketChannel channel(port, hub.packet_log(), hub.packet_log());
  channel.set_receive_budget(hub.clock(), kReceiveBudgetMs);
  return channel.ReceivePacket(reply.address, reply.command, reply.length, out, room, checksum);
}

// One request and its reply. Channels keep nothing between packets, so sending and
// receiving on separate ones is the same exchange.
bool request(CommProtocols& hub, int address, std::uint8_t command,
             std::span<const std::uint8_t> data, std::uint8_t* out, unsigned room, bool checksum,
             Reply& reply) {
  return send_packet_2017(hub, address, command, data) && receive(hub, out, room, checksum, reply);
}

// The console's block unpacked as an older-bus block, with the console's own address.
bool poll_console(CommProtocols& hub, CommIncomData& data, int a, bool& accepted) {
  std::array<std::uint8_t, kConsoleBlockSize> block{};
  accepted = false;
  if (!read_data_2017_old_one_address(hub, a, block)) return false;
  data.address_blocks[a].assign(block.begin(), block.end());
  accepted = hub.read_data_new_process_data(data, block, a);
  if (accepted) data.module(a).state = kUsoStateConsole;
  return true;
}

// A record made for a packet that was then refused carries the module's last good values
// rather than zeros, so one repeated packet does not read as a dead sensor.
void keep_last_values(CommProtocols& hub, CommIncomData& data, int a, bool made_here) {
  if (!made_here) return;
  USOData last;
  if (hub.get_last_module(a, last))
    data.modules[a] = last;
  else
    data.modules.erase(a);
}

}  // namespace

std::vector<int> parse_bus_addresses(const std::string& port_text) {
  std::vector<int> addresses;
  std::set<int> seen;
  std::size_t start = 0;
  while (start <= port_text.size()) {
    std::size_t comma = port_text.find(',', start);
    if (comma == std::string::npos) comma = port_text.size();
    const std::string token(lib::trim(std::string_view(port_text).substr(start, comma - start)));
    const long long a = lib::str_to_int(token, -1);
    // Only whole decimal numbers count: "1x" or "" is not an address.
    const bool digits = !token.empty() && std::all_of(token.begin(), token.end(),
                                                      [](char c) { return c >= '0' && c <= '9'; });
    if (digits && a > 0 && a <= kLastAddress && seen.insert(static_cast<int>(a)).second)
      addresses.push_back(static_cast<int>(a));
    start = comma + 1;
  }
  return addresses;
}

bool send_packet_2017(CommProtocols& hub, int address, std::uint8_t command,
                      std::span<const std::uint8_t> data) {
  CommPortPacketPort port(hub.get_port());
  PacketChannel channel(port, hub.packet_log(), hub.packet_log());
  // A reply that came too late for an earlier attempt must not pass for this one's.
  hub.get_port().clear();
  return channel.SendPacket(static_cast<std::uint8_t>(address), command, data.data(),
                            static_cast<unsigned>(data.size()));
}

bool read_data_2017_one_address(CommProtocols& hub, int address, std::vector<std::uint8_t>& reply,
                                int& data_version) {
  std::array<std::uint8_t, kModuleReplyRoom> buffer{};
  for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
    Reply r;
    if (request(hub, address, kCmdModuleData, {}, buffer.data(), buffer.size(), false, r) &&
        r.address == address) {
      reply.assign(buffer.begin(), buffer.begin() + r.length);
      if (r.length == kModuleReplyV0Size)
        data_version = kDataVersion0;
      else
        data_version = r.length >= 2 ? get_u16(reply, 0) : -1;
      hub.log("USO " + str(address) + " data_version " + str(data_version), kLogDetail);
      return true;
    }
    hub.log("Error reading USO " + str(address) + " command " + str(kCmdModuleData) + " retry " +
                str(attempt) + "...",
            kLogError);
  }
  return false;
}

bool read_data_2017_old_one_address(CommProtocols& hub, int address,
                                    std::array<std::uint8_t, kConsoleBlockSize>& block) {
  for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
    Reply r;
    if (request(hub, address, kCmdConsoleData, {}, block.data(), block.size(), false, r) &&
        r.length == kConsoleBlockSize)
      return true;
    hub.log(
        "Error reading old USO " + str(address) + " command " + str(kCmdConsoleData) + " retry...",
        kLogError);
  }
  return false;
}

bool read_indy_2017_type(CommProtocols& hub, int address, std::uint8_t& type) {
  for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
    Reply r;
    std::uint8_t value = 0;
    if (request(hub, address, kCmdIndicatorType, {}, &value, kIndicatorTypeSize, false, r) &&
        r.address == address && r.command == kCmdIndicatorTypeReply &&
        r.length == kIndicatorTypeSize) {
      type = value;
      return true;
    }
    hub.log("Error reading indy " + str(address) + " type. retry...", kLogError);
  }
  return false;
}

bool read_data_2017_result(CommProtocols& hub, int address, std::uint8_t& result) {
  Reply r;
  std::uint8_t value = 0;
  if (!receive(hub, &value, kResultSize, false, r)) return false;
  if (r.address != address || r.command != kCmdResult || r.length != kResultSize) return false;
  result = value;
  return true;
}

bool read_data_2017_buffer(CommProtocols& hub, int address, std::uint8_t* buffer, unsigned room,
                           std::uint16_t* length, int* from) {
  Reply r;
  if (!receive(hub, buffer, room, true, r)) return false;
  if (address != kAnyAddress && r.address != address) return false;
  if (length) *length = r.length;
  if (from) *from = r.address;
  return true;
}

bool unpack_module_reply_2017(CommProtocols& hub, CommIncomData& data, int address,
                              std::span<const std::uint8_t> reply, int data_version) {
  const ModuleReplyLayout* layout = data_version == kDataVersion0     ? &kV0Layout
                                    : data_version == kDataVersion101 ? &kV101Layout
                                                                      : nullptr;
  const std::string who = "USO " + str(address);
  if (!layout) {
    hub.log(who + " data_version " + str(data_version) + " is not understood", kLogError);
    return false;
  }
  if (reply.size() < layout->size) {
    hub.log(who + " reply of " + str(static_cast<int>(reply.size())) + " bytes is too short",
            kLogError);
    return false;
  }
  const bool made_here = !data.modules.contains(address);
  const std::uint32_t number = layout->packet_size == 2 ? get_u16(reply, layout->packet_offset)
                                                        : get_u32(reply, layout->packet_offset);
  bool backwards = false;
  const bool accepted =
      layout->packet_size == 2
          ? hub.check_packet_number(data, address, number, 0xFFFFu)
          : hub.check_packet_number(data, address, number, 0xFFFFFFFFu, &backwards);
  if (!accepted) {
    keep_last_values(hub, data, address, made_here);
    return false;
  }

  USOData& record = data.module(address);
  record.adc.resize(kAdcWords);
  for (int i = 0; i < kAdcWords; ++i)
    record.adc[static_cast<std::size_t>(i)] =
        get_u16(reply, layout->adc_offset + 2 * static_cast<std::size_t>(i));
  record.freq.resize(kRatePeriods);
  for (int i = 0; i < kRatePeriods; ++i) {
    const std::uint16_t period =
        get_u16(reply, layout->periods_offset + 2 * static_cast<std::size_t>(i));
    record.freq[static_cast<std::size_t>(i)] =
        period == 0 ? 0.0f : static_cast<float>(kPeriodDividend / period);
  }

  DolAccumulators::Counts counts;
  if (layout->dol_size == 2) {
    std::array<std::int16_t, kDolChannels> increments{};
    for (int i = 0; i < kDolChannels; ++i)
      increments[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
          get_u16(reply, layout->dol_offset + 2 * static_cast<std::size_t>(i)));
    counts = hub.dol_accumulators().add_increments(address, increments);
  } else {
    std::array<std::int32_t, kDolChannels> values{};
    for (int i = 0; i < kDolChannels; ++i)
      values[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(
          get_u32(reply, layout->dol_offset + 4 * static_cast<std::size_t>(i)));
    counts = hub.dol_accumulators().take_counts(address, values, backwards);
  }
  record.dol.assign(counts.begin(), counts.end());
  // The winch-sensor counts are the module's pulse counters: the parameter table reads them
  // as counters 0 and 1.
  record.counters.resize(kDolChannels);
  for (int i = 0; i < kDolChannels; ++i)
    record.counters[static_cast<std::size_t>(i)] = counts[static_cast<std::size_t>(i)].value;

  record.status = static_cast<std::uint16_t>(reply[layout->status_a_offset] |
                                             (reply[layout->status_b_offset] << 8));
  record.flags |= get_u16(reply, layout->flags_offset);
  return true;
}

bool read_data_2017(CommProtocols& hub, CommIncomData& data) {
  const std::int64_t start = hub.clock().steady_ms();
  std::map<std::int32_t, std::int32_t> types;
  std::vector<int> work = parse_bus_addresses(hub.port_text());
  for (auto& set : data.address_sets) set.clear();
  int duplicates = 0;
  bool finished_any = false;

  std::size_t next = 0;
  while (!work.empty()) {
    if (next >= work.size()) next = 0;
    if (hub.clock().steady_ms() - start > kPassBudgetMs) {
      hub.log("TIMEOUT!", kLogTimeout);
      hub.set_device_types(std::move(types));
      return false;
    }
    const int a = work[next];
    bool keep = false;
    bool finished = false;

    if (is_indicator_address(a)) {
      hub.log("Trying INDI " + str(a), kLogProgress);
      std::uint8_t type = 0;
      if (read_indy_2017_type(hub, a, type)) {
        hub.log("INDI " + str(a) + " type " + str(type), kLogProgress);
        types[a] = type;
        data.address_sets[kSetIndicators].insert(a);
      } else {
        hub.log("INDI " + str(a) + " type FAILED!", kLogError);
      }
    } else if (is_console_address(a)) {
      hub.log("Trying PULT " + str(a), kLogProgress);
      bool accepted = false;
      if (!poll_console(hub, data, a, accepted)) {
        hub.log("PULT " + str(a) + " not connected", kLogError);
      } else if (accepted) {
        duplicates = 0;
        finished = true;
        data.address_sets[kSetConsoles].insert(a);
      } else if (++duplicates > kMaxConsoleDuplicates) {
        hub.log("USO " + str(a) + " not connected, more than " + str(kMaxConsoleDuplicates) +
                    " duplicate packets received",
                kLogTimeout);
      } else {
        keep = true;
      }
    } else {
      hub.log("Trying USO " + str(a), kLogProgress);
      std::vector<std::uint8_t> reply;
      int version = -1;
      if (!read_data_2017_one_address(hub, a, reply, version)) {
        hub.log("USO " + str(a) + " not connected", kLogError);
      } else {
        data.address_blocks[a] = reply;
        // A module that repeats its packet is not asked again in this pass: it has nothing
        // new yet, and asking would only spend the pass's time.
        if (unpack_module_reply_2017(hub, data, a, reply, version)) {
          finished = true;
          data.address_sets[kSetModules].insert(a);
        }
      }
    }

    if (finished) {
      hub.log("Finished USO " + str(a), kLogProgress);
      types[a] = kDeviceTypeDataSource;
      finished_any = true;
    }
    if (keep)
      ++next;
    else
      work.erase(work.begin() + static_cast<std::ptrdiff_t>(next));
  }
  hub.log("All USO DONE! Time=" + std::to_string(hub.clock().steady_ms() - start), kLogProgress);
  hub.set_device_types(std::move(types));
  return finished_any;
}

void send_data_2017(CommProtocols& hub, CommOutData& out) {
  std::lock_guard output_guard(hub.output_lock());
  for (const int a : parse_bus_addresses(hub.port_text())) {
    if (is_console_address(a)) {
      const auto it = out.pults.find(a);
      if (it == out.pults.end()) continue;
      // A console entry always sends both blocks, in this order, each confirmed on its own:
      // an empty block still goes out as its bare command, and a values block the console
      // did not confirm does not hold back the configuration.
      std::uint8_t result = 0;
      const PultOut& entry = it->second;
      if (!(send_packet_2017(hub, a, kCmdConsoleValues, entry.values) &&
            read_data_2017_result(hub, a, result)))
        hub.log("PULT INDI " + str(a) + "result ERROR", kLogError);
      std::vector<std::uint8_t> config = entry.config;
      if (entry.relays) {
        if (config.size() < 2) config.resize(2);
        config[0] = static_cast<std::uint8_t>(out.word & 0xFF);
        config[1] = static_cast<std::uint8_t>((out.word >> 8) & 0xFF);
      }
      if (!(send_packet_2017(hub, a, kCmdConsoleConfig, config) &&
            read_data_2017_result(hub, a, result)))
        hub.log("PULT INDI CONFIG " + str(a) + " result ERROR", kLogError);
    } else if (is_indicator_address(a)) {
      const auto it = out.indicators.find(a);
      if (it == out.indicators.end()) continue;
      hub.log("Try to sent to INDI " + str(a), kLogProgress);
      const std::vector<std::uint8_t>& block = it->second.data;
      if (block.empty()) {
        hub.log("INDI " + str(a) + "buffer 0", kLogError);
        continue;
      }
      std::uint8_t result = 0;
      if (!(send_packet_2017(hub, a, kCmdIndicatorData, block) &&
            read_data_2017_result(hub, a, result)))
        hub.log("INDI " + str(a) + "result ERROR", kLogError);
    }
  }
}

}  // namespace hardware
