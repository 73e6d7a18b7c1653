#include "hardware/bus_old/old_bus_frame.h"

#include "hardware/bus_old/old_bus_wire.h"

namespace lib::old_bus {

std::vector<std::uint8_t> encode_request(std::string_view command) {
  if (command.size() != kCommandLength) return {};
  const auto c0 = static_cast<std::uint8_t>(command[0]);
  const auto c1 = static_cast<std::uint8_t>(command[1]);
  return {kRequestSync, c0, c1, request_check(c0, c1)};
}

std::optional<std::string> decode_request(std::span<const std::uint8_t> frame) {
  if (frame.size() != kRequestSize || frame[0] != kRequestSync) return std::nullopt;
  if (frame[3] != request_check(frame[1], frame[2])) return std::nullopt;
  return std::string{static_cast<char>(frame[1]), static_cast<char>(frame[2])};
}

std::vector<std::uint8_t> encode_reply(std::string_view command,
                                       std::span<const std::uint8_t> data) {
  if (command.size() != kCommandLength || data.size() > kMaxReplyData) return {};
  std::vector<std::uint8_t> frame;
  frame.reserve(kReplyHeaderSize + data.size() + kReplyTrailerSize);
  frame.push_back(kReplySync);
  frame.push_back(static_cast<std::uint8_t>(command[0]));
  frame.push_back(static_cast<std::uint8_t>(command[1]));
  frame.push_back(static_cast<std::uint8_t>(data.size()));
  frame.insert(frame.end(), data.begin(), data.end());
  const std::uint16_t crc = crc16(frame.data() + 1, frame.size() - 1);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

ReplyCheck check_reply(std::span<const std::uint8_t> frame, std::string_view command,
                       std::size_t expected_data) {
  if (frame.size() < kReplyHeaderSize + kReplyTrailerSize || frame[0] != kReplySync)
    return ReplyCheck::kWrongLength;
  if (command.size() != kCommandLength || frame[1] != static_cast<std::uint8_t>(command[0]) ||
      frame[2] != static_cast<std::uint8_t>(command[1]))
    return ReplyCheck::kWrongCommand;
  if (frame[3] != expected_data ||
      frame.size() != kReplyHeaderSize + expected_data + kReplyTrailerSize)
    return ReplyCheck::kWrongLength;
  const std::size_t body = frame.size() - kReplyTrailerSize;
  const std::uint16_t crc = crc16(frame.data() + 1, body - 1);
  const std::uint16_t got = static_cast<std::uint16_t>(frame[body] | (frame[body + 1] << 8));
  return crc == got ? ReplyCheck::kOk : ReplyCheck::kBadCrc;
}

const char* reply_check_text(ReplyCheck check) {
  switch (check) {
    case ReplyCheck::kOk:
      return "ok";
    case ReplyCheck::kWrongCommand:
      return "reply to another command";
    case ReplyCheck::kWrongLength:
      return "reply of a wrong length";
    case ReplyCheck::kBadCrc:
      return "reply with a bad checksum";
  }
  return "unknown";
}

std::vector<std::uint8_t> encode_output(std::span<const std::uint8_t> data) {
  if (data.size() > kMaxOutputData) return {};
  std::vector<std::uint8_t> frame;
  frame.reserve(kOutputHeaderSize + data.size() + kReplyTrailerSize);
  frame.push_back(kOutputSync);
  frame.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(data.size() >> 8));
  frame.insert(frame.end(), data.begin(), data.end());
  const std::uint16_t crc = crc16(frame.data() + 1, frame.size() - 1);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

std::optional<std::vector<std::uint8_t>> decode_output(std::span<const std::uint8_t> frame) {
  if (frame.size() < kOutputHeaderSize + kReplyTrailerSize || frame[0] != kOutputSync)
    return std::nullopt;
  const std::size_t n = frame[1] | (static_cast<std::size_t>(frame[2]) << 8);
  if (n > kMaxOutputData || frame.size() != kOutputHeaderSize + n + kReplyTrailerSize)
    return std::nullopt;
  const std::size_t body = frame.size() - kReplyTrailerSize;
  const std::uint16_t crc = crc16(frame.data() + 1, body - 1);
  if (crc != static_cast<std::uint16_t>(frame[body] | (frame[body + 1] << 8))) return std::nullopt;
  return std::vector<std::uint8_t>(frame.begin() + kOutputHeaderSize, frame.begin() + body);
}

}  // namespace lib::old_bus
