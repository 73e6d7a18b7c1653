#include "hardware/bus2017/packet_channel.h"

#include <fmt/format.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hardware/bus2017/rx_packet.h"

namespace hardware {

using namespace packet_format;

namespace {

constexpr int kMarkerLevel = 1;
constexpr int kDumpLevel = 2;
constexpr int kStepLevel = 3;

std::string hex_dump(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  text.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text.push_back(' ');
    fmt::format_to(std::back_inserter(text), "{:02X}", bytes[i]);
  }
  return text;
}

// Appends a byte of the frame's stuffed part.
void stuff(std::vector<std::uint8_t>& out, std::uint8_t b) {
  if (b == kEscape) {
    out.push_back(kEscape);
    out.push_back(kEscapedEscape);
  } else if (b == kFrameMark) {
    out.push_back(kEscape);
    out.push_back(kEscapedFrameMark);
  } else {
    out.push_back(b);
  }
}

std::string addressed_dump(const char* title, std::uint8_t addr, const std::uint8_t* bytes,
                           std::size_t count) {
  return fmt::format("{}addr={:02X}, {}", title, addr, hex_dump(bytes, count));
}

}  // namespace

PacketChannel::PacketChannel(PacketPort& port, lib::LineLogger& send_log,
                             lib::LineLogger& receive_log, const BusCipherKey& key)
    : port_(port), send_log_(send_log), receive_log_(receive_log), cipher_(key), crc_(kBusCrc) {
  output_.reserve(2 * kTransmitBufferSize + 8);
}

bool PacketChannel::log_enabled(const lib::LineLogger& log, int level) const {
  return level < log.threshold();
}

void PacketChannel::set_receive_budget(lib::Clock& clock, std::int64_t budget_ms) {
  budget_clock_ = &clock;
  budget_ms_ = budget_ms;
}

void PacketChannel::SendByte(std::uint8_t b) {
  crc_.update(b);
  stuff(output_, b);
}

void PacketChannel::SendBuffer(const std::uint8_t* p, unsigned n) {
  // The same as SendByte for each byte, the CRC taken over the whole buffer in one pass.
  crc_.update(p, n);
  for (unsigned i = 0; i < n; ++i) stuff(output_, p[i]);
}

void PacketChannel::SendWord(std::uint16_t w) {
  SendByte(static_cast<std::uint8_t>(w >> 8));
  SendByte(static_cast<std::uint8_t>(w & 0xFF));
}

bool PacketChannel::SendPacket(std::uint8_t addr, std::uint8_t cmd, const std::uint8_t* data,
                               unsigned len) {
  send_log_.write(">>>>>>>>>> SendPacket >>>>>>>>>>>> ", kMarkerLevel);
  // The plain text must fit the work buffer; anything that long cannot be enciphered
  // into a frame anyway.
  if (len >= work_.size() || (len > 0 && data == nullptr)) return false;
  transmit_[0] = addr;
  work_[0] = cmd;
  if (len > 0) std::memcpy(work_.data() + 1, data, len);
  const std::size_t text_length = std::size_t{len} + 1;
  if (log_enabled(send_log_, kDumpLevel)) {
    send_log_.write(addressed_dump("Outgoing packet: ", addr, work_.data(), text_length),
                    kDumpLevel);
  }
  const std::size_t n = cipher_.encode(std::span(work_.data(), text_length),
                                       std::span(transmit_.data() + 1, kTransmitPayloadRoom));
  if (n == 0) return false;
  if (log_enabled(send_log_, kDumpLevel)) {
    send_log_.write("Encoded outgoing packet: " + hex_dump(transmit_.data(), n + 1), kDumpLevel);
  }
  output_.clear();
  crc_.reset();
  output_.push_back(kPreamble);
  output_.push_back(kFrameMark);
  SendBuffer(transmit_.data(), static_cast<unsigned>(n + 1));
  const std::uint16_t checksum = crc_.final_value();
  if (log_enabled(send_log_, kStepLevel)) {
    send_log_.write(fmt::format("Checksum: {:04X}", checksum), kStepLevel);
  }
  SendWord(checksum);
  output_.push_back(kFrameMark);
  send_log_.write("Writing port: ", kStepLevel);
  const bool written = port_.write(output_);
  send_log_.write("Flushing port: ", kStepLevel);
  port_.flush();
  send_log_.write(">>>>>>>>>> SendPacket DONE >>>>>>>>>>>> ", kMarkerLevel);
  return written;
}

bool PacketChannel::ReceivePacket(std::uint8_t& addr, std::uint8_t& cmd, std::uint16_t& len,
                                  std::uint8_t* out, unsigned out_size, bool need_checksum) {
  receive_log_.write("<<<<<<<<<< RecvPacket <<<<<<<<<<<< ", kMarkerLevel);
  // On the heap: an assembler per call keeps no bytes from an earlier exchange.
  auto rx = std::make_unique<BusRxPacket>();
  rx->clearPacket();
  const std::int64_t started = budget_clock_ ? budget_clock_->steady_ms() : 0;
  while (rx->getPacketSize() == 0) {
    int result = port_.read_byte();
    if (result >= 0 && result <= 0xFF && budget_clock_ &&
        budget_clock_->steady_ms() - started > budget_ms_) {
      result = kReadTimeout;
    }
    // Anything that is not a byte is an error; treating stray negatives as bytes would
    // feed the assembler values the port never received.
    if (result < 0 || result > 0xFF) {
      if (result == kReadTimeout) {
        receive_log_.write("ReceivePacket: ERROR!!! TIMEOUT!!!", kMarkerLevel);
      } else if (result == kReadUnknownError) {
        receive_log_.write("ReceivePacket: UNKNOWN ERROR!!!", kMarkerLevel);
      } else {
        receive_log_.write(fmt::format("ReceivePacket: ERROR: {}", result), kMarkerLevel);
      }
      return false;
    }
    rx->acceptChar(static_cast<std::uint8_t>(result));
  }
  const std::size_t payload_size = rx->getPacketSize();
  rx->clearPacket();
  addr = rx->getAddress();
  if (log_enabled(receive_log_, kDumpLevel)) {
    receive_log_.write(addressed_dump("Received packet: ", addr, rx->getPacket(), payload_size),
                       kDumpLevel);
  }
  const std::size_t text_length =
      cipher_.decode(std::span(rx->getPacket(), payload_size), std::span(work_));
  if (text_length == 0) {
    receive_log_.write("ReceivePacket: decode error", kMarkerLevel);
    return false;
  }
  if (log_enabled(receive_log_, kDumpLevel)) {
    receive_log_.write(addressed_dump("Decoded packet: ", addr, work_.data(), text_length),
                       kDumpLevel);
  }
  cmd = work_[0];
  std::size_t data_length = text_length - 1;
  if (!need_checksum) {
    if (out_size < data_length) {
      receive_log_.write("ReceivePacket: buffer size error", kMarkerLevel);
      return false;
    }
  } else {
    receive_log_.write("ReceivePacket: need checksum", kDumpLevel);
    if (data_length < 2 || data_length > std::size_t{out_size} + 2) return false;
    const std::size_t body = data_length - 2;
    const std::uint16_t expected = CrcEngine::compute(work_.data() + 1, body);
    const std::uint16_t stored =
        static_cast<std::uint16_t>(work_[1 + body] | (work_[2 + body] << 8));
    if (expected != stored) return false;
    data_length = body;
    receive_log_.write("ReceivePacket: checksum ok", kDumpLevel);
  }
  len = static_cast<std::uint16_t>(data_length);
  if (data_length > 0) std::memcpy(out, work_.data() + 1, data_length);
  return true;
}

}  // namespace hardware
