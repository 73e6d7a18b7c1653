// A field-bus protocol the station can speak, as kept in the protocol hub's registry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace hardware {

class CommProtocols;
class CommIncomData;
struct CommOutData;

using ReadFunction = std::function<bool(CommProtocols& hub, CommIncomData& data)>;
using SendFunction = std::function<void(CommProtocols& hub, CommOutData& out)>;

// Stable protocol ids (kept in settings, passed by every caller).
inline constexpr std::int32_t kProtocolNewPult = 5;
inline constexpr std::int32_t kProtocolDepthFast = 8;
inline constexpr std::int32_t kProtocol2017 = 10;
inline constexpr std::int32_t kProtocolJunctionBox = 11;
inline constexpr std::int32_t kProtocolEmulator = 28;

struct Protocol {
  std::int32_t id = 0;
  std::string name;
  std::int32_t middle_adc = 0;
  std::int32_t max_adc = 0;
  std::int32_t baud = 0;
  std::int32_t time_out_ms = 0;
  ReadFunction read;
  SendFunction send;  // empty for receive-only protocols
};

// Whether `mask` offers protocol `id`: bit (id mod 32).
inline bool protocol_in_mask(std::int32_t id, std::uint32_t mask) {
  const auto bit = static_cast<std::uint32_t>(((id % 32) + 32) % 32);
  return (mask >> bit) & 1u;
}

}  // namespace hardware
