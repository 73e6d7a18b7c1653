// Building and checking the frames of the older field bus (layout in old_bus_wire.h).
// Both sides of the line use these, so the station and the simulator cannot drift apart.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lib::old_bus {

// A request for a two-letter command; empty when the command is not two characters.
std::vector<std::uint8_t> encode_request(std::string_view command);
// The command of a complete request frame, or nothing when the frame is not one.
std::optional<std::string> decode_request(std::span<const std::uint8_t> frame);

// A reply carrying `data` (at most kMaxReplyData bytes) for `command`.
std::vector<std::uint8_t> encode_reply(std::string_view command,
                                       std::span<const std::uint8_t> data);

// Why a reply frame was refused.
enum class ReplyCheck { kOk, kWrongCommand, kWrongLength, kBadCrc };
// Checks a complete reply frame (sync byte included) against the command and the data
// length the station expects.
ReplyCheck check_reply(std::span<const std::uint8_t> frame, std::string_view command,
                       std::size_t expected_data);
const char* reply_check_text(ReplyCheck check);

// An output block; empty when `data` is longer than kMaxOutputData.
std::vector<std::uint8_t> encode_output(std::span<const std::uint8_t> data);
// The data of a complete output frame, or nothing when it is damaged.
std::optional<std::vector<std::uint8_t>> decode_output(std::span<const std::uint8_t> frame);

}  // namespace lib::old_bus
