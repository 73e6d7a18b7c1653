#include "hardware/sim/bus2017_sim.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>

#include "hardware/bus2017/packet_crc.h"

namespace hardware {

using namespace bus2017;

namespace {

static_assert(kConsoleBlockSize == old_block::kSize);

void push_stuffed(std::vector<std::uint8_t>& out, std::uint8_t b) {
  using namespace packet_format;
  if (b == kEscape) {
    out.insert(out.end(), {kEscape, kEscapedEscape});
  } else if (b == kFrameMark) {
    out.insert(out.end(), {kEscape, kEscapedFrameMark});
  } else {
    out.push_back(b);
  }
}

// Flips a bit of the frame CRC of a frame built by the channel (preamble, start mark,
// stuffed body, end mark); the CRC byte may itself be stuffed, so the body is unstuffed and
// stuffed again.
void break_frame_crc(std::vector<std::uint8_t>& frame) {
  using namespace packet_format;
  std::vector<std::uint8_t> body;
  for (std::size_t i = 2; i + 1 < frame.size(); ++i) {
    std::uint8_t b = frame[i];
    if (b == kEscape && i + 2 < frame.size()) {
      b = frame[++i] == kEscapedFrameMark ? kFrameMark : kEscape;
    }
    body.push_back(b);
  }
  if (body.empty()) return;
  body.back() ^= 0x01;
  std::vector<std::uint8_t> rebuilt{kPreamble, kFrameMark};
  for (std::uint8_t b : body) push_stuffed(rebuilt, b);
  rebuilt.push_back(kFrameMark);
  frame = std::move(rebuilt);
}

void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

Bus2017Sim::Bus2017Sim(const BusCipherKey& key)
    : delay(sleep_ms), cipher_(key), reply_channel_(reply_port_, quiet_log_, quiet_log_, key) {}

Bus2017SimModule& Bus2017Sim::add_module(std::uint8_t address, std::uint16_t data_version) {
  if (!is_module_address(address)) {
    throw std::invalid_argument("address " + std::to_string(address) +
                                " is not a module address (1..32, 97..255)");
  }
  forget(address);
  Bus2017SimModule& module = modules_[address];
  module.data_version = data_version;
  return module;
}

Bus2017SimIndicator& Bus2017Sim::add_indicator(std::uint8_t address, std::uint8_t type) {
  if (!is_indicator_address(address)) {
    throw std::invalid_argument("address " + std::to_string(address) +
                                " is not an indicator address (33..64)");
  }
  forget(address);
  Bus2017SimIndicator& indicator = indicators_[address];
  indicator.type = type;
  return indicator;
}

Bus2017SimConsole& Bus2017Sim::add_console(std::uint8_t address) {
  if (!is_console_address(address)) {
    throw std::invalid_argument("address " + std::to_string(address) +
                                " is not a console address (65..96)");
  }
  forget(address);
  return consoles_[address];
}

void Bus2017Sim::forget(std::uint8_t address) {
  modules_.erase(address);
  indicators_.erase(address);
  consoles_.erase(address);
  last_data_reply_.erase(address);
}

void Bus2017Sim::remove(std::uint8_t address) {
  forget(address);
  faults_.erase(address);
}

Bus2017SimModule* Bus2017Sim::module(std::uint8_t address) {
  auto it = modules_.find(address);
  return it == modules_.end() ? nullptr : &it->second;
}

Bus2017SimIndicator* Bus2017Sim::indicator(std::uint8_t address) {
  auto it = indicators_.find(address);
  return it == indicators_.end() ? nullptr : &it->second;
}

Bus2017SimConsole* Bus2017Sim::console(std::uint8_t address) {
  auto it = consoles_.find(address);
  return it == consoles_.end() ? nullptr : &it->second;
}

std::vector<std::uint8_t> Bus2017Sim::addresses() const {
  std::vector<std::uint8_t> out;
  for (const auto& [address, device] : modules_) out.push_back(address);
  for (const auto& [address, device] : indicators_) out.push_back(address);
  for (const auto& [address, device] : consoles_) out.push_back(address);
  std::sort(out.begin(), out.end());
  return out;
}

Bus2017SimFaults& Bus2017Sim::faults(std::uint8_t address) {
  return faults_[address];
}

std::vector<std::uint8_t> Bus2017Sim::feed(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out;
  for (std::uint8_t b : bytes) {
    rx_.acceptChar(b);
    const std::size_t size = rx_.getPacketSize();
    if (size == 0) continue;
    rx_.clearPacket();
    const std::size_t length = cipher_.decode(std::span(rx_.getPacket(), size), std::span(text_));
    if (length == 0) continue;  // not enciphered with the bus key: noise to a device
    requests_.push_back(
        {rx_.getAddress(), text_[0],
         std::vector<std::uint8_t>(text_.begin() + 1, text_.begin() + static_cast<long>(length))});
    const auto reply = handle(requests_.back());
    out.insert(out.end(), reply.begin(), reply.end());
  }
  return out;
}

std::optional<std::uint8_t> Bus2017Sim::target_of(const Bus2017SimRequest& request) const {
  if (request.address == kAnyAddress && request.command == kCmdModuleConfigRead) {
    // Every module on the bus takes this request as its own; with more than one their
    // replies would collide on the line and the station would read nothing.
    if (modules_.size() != 1) return std::nullopt;
    return modules_.begin()->first;
  }
  if (modules_.count(request.address) || indicators_.count(request.address) ||
      consoles_.count(request.address)) {
    return request.address;
  }
  return std::nullopt;
}

bool Bus2017Sim::understands(std::uint8_t address, const Bus2017SimRequest& request) const {
  const std::uint8_t c = request.command;
  if (modules_.count(address)) {
    return c == kCmdModuleData || c == kCmdModuleConfigRead ||
           (c == kCmdModuleConfigWrite && request.data.size() == kModuleConfigSize);
  }
  if (indicators_.count(address)) return c == kCmdIndicatorType || c == kCmdIndicatorData;
  if (consoles_.count(address)) {
    return c == kCmdConsoleData || c == kCmdConsoleValues || c == kCmdConsoleConfig;
  }
  return false;
}

std::vector<std::uint8_t> Bus2017Sim::handle(const Bus2017SimRequest& request) {
  const auto target = target_of(request);
  if (!target || !understands(*target, request)) return {};
  Bus2017SimFaults& f = faults(*target);
  if (f.silent || f.answers_left == 0) return {};
  if (f.drop_next > 0) {
    --f.drop_next;
    return {};
  }
  const Reply reply = answer(*target, request);
  if (f.answers_left > 0) --f.answers_left;
  if (f.reply_delay_ms > 0 && delay) delay(f.reply_delay_ms);
  auto bytes = frame(*target, reply);
  if (f.garble_next > 0) {
    --f.garble_next;
    break_frame_crc(bytes);
  }
  if (!bytes.empty()) ++replies_sent_;
  return bytes;
}

Bus2017Sim::Reply Bus2017Sim::answer(std::uint8_t address, const Bus2017SimRequest& request) {
  const std::uint8_t result = faults(address).result;
  if (auto* m = module(address)) {
    switch (request.command) {
      case kCmdModuleData:
        return {kCmdModuleData, data_reply(address, [&] { return module_data(*m); })};
      case kCmdModuleConfigRead: {
        std::vector<std::uint8_t> data(m->config.begin(), m->config.end());
        const std::uint16_t crc = CrcEngine::compute(data.data(), data.size());
        data.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        data.push_back(static_cast<std::uint8_t>(crc >> 8));
        return {kCmdModuleConfigRead, std::move(data)};
      }
      default:  // the configuration write; understands() checked its size
        std::copy(request.data.begin(), request.data.end(), m->config.begin());
        return {kCmdResult, {result}};
    }
  }
  if (auto* ind = indicator(address)) {
    if (request.command == kCmdIndicatorType) return {kCmdIndicatorTypeReply, {ind->type}};
    ind->received.push_back(request.data);
    return {kCmdResult, {result}};
  }
  Bus2017SimConsole& c = consoles_.at(address);
  switch (request.command) {
    case kCmdConsoleData:
      return {kCmdConsoleData, data_reply(address, [&] { return console_data(c); })};
    case kCmdConsoleValues:
      c.received_values.push_back(request.data);
      return {kCmdResult, {result}};
    default:  // the indicator configuration
      c.received_config.push_back(request.data);
      return {kCmdResult, {result}};
  }
}

template <typename Make>
std::vector<std::uint8_t> Bus2017Sim::data_reply(std::uint8_t address, Make make) {
  Bus2017SimFaults& f = faults(address);
  auto last = last_data_reply_.find(address);
  if (f.duplicates > 0 && last != last_data_reply_.end()) {
    --f.duplicates;
    return last->second;
  }
  auto data = make();
  last_data_reply_[address] = data;
  return data;
}

std::vector<std::uint8_t> Bus2017Sim::module_data(Bus2017SimModule& m) {
  const bool v0 = m.data_version == kDataVersion0;
  const ModuleReplyLayout& layout = v0 ? kV0Layout : kV101Layout;
  std::vector<std::uint8_t> data(layout.size);
  std::span<std::uint8_t> out(data);
  if (v0) {
    put_u16(out, layout.packet_offset, static_cast<std::uint16_t>(m.next_packet));
    m.next_packet = (m.next_packet + 1) & 0xFFFF;
  } else {
    put_u16(out, kV101VersionOffset, m.data_version);
    put_u32(out, layout.packet_offset, m.next_packet);
    ++m.next_packet;
  }
  data[layout.status_a_offset] = m.status_a;
  data[layout.status_b_offset] = m.status_b;
  for (std::size_t i = 0; i < m.adc.size(); ++i) put_u16(out, layout.adc_offset + 2 * i, m.adc[i]);
  for (std::size_t i = 0; i < m.dol.size(); ++i) {
    const std::size_t offset = layout.dol_offset + layout.dol_size * i;
    if (v0) {
      // Only what fits an int16 goes out; the rest waits for the next reply.
      constexpr std::int32_t lo = std::numeric_limits<std::int16_t>::min();
      constexpr std::int32_t hi = std::numeric_limits<std::int16_t>::max();
      const std::int32_t sent = std::clamp(m.dol[i], lo, hi);
      put_u16(out, offset, static_cast<std::uint16_t>(static_cast<std::int16_t>(sent)));
      m.dol[i] -= sent;
    } else {
      put_u32(out, offset, static_cast<std::uint32_t>(m.dol[i]));
    }
  }
  for (std::size_t i = 0; i < m.periods.size(); ++i) {
    put_u16(out, layout.periods_offset + 2 * i, m.periods[i]);
  }
  put_u16(out, layout.flags_offset, m.flags);
  return data;
}

std::vector<std::uint8_t> Bus2017Sim::console_data(Bus2017SimConsole& c) {
  using namespace old_block;
  std::vector<std::uint8_t> data(kSize);
  std::span<std::uint8_t, kSize> block(data.data(), kSize);
  for (std::size_t i = 0; i < c.adc.size(); ++i) put_word(block, kAdcOffset + 2 * i, c.adc[i]);
  block[kStatusOffset] = c.status;
  block[kPacketOffset] = c.next_packet++;
  put_word(block, kCounterOffset, c.counter);
  put_word(block, kRate0Offset, c.rate_words[0]);
  put_word(block, kRate1Offset, c.rate_words[1]);
  put_word(block, kRate2Offset, c.rate_words[2]);
  put_word(block, kRate3Offset, c.rate_words[3]);
  return data;
}

std::vector<std::uint8_t> Bus2017Sim::frame(std::uint8_t address, const Reply& reply) {
  reply_port_.written.clear();
  reply_channel_.SendPacket(address, reply.command, reply.data.data(),
                            static_cast<unsigned>(reply.data.size()));
  return std::move(reply_port_.written);
}

}  // namespace hardware
