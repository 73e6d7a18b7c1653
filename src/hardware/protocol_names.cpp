#include "hardware/protocol_names.h"

#include "hardware/protocol.h"

namespace hardware {
namespace {

constexpr ProtocolName kNames[] = {
    {"emulator", kProtocolEmulator}, {"console", kProtocolNewPult},
    {"console2017", kProtocol2017},  {"junction", kProtocolJunctionBox},
    {"depth", kProtocolDepthFast},
};

}  // namespace

std::span<const ProtocolName> protocol_names() {
  return kNames;
}

std::int32_t protocol_id_of(const std::string& name_or_id) {
  for (const auto& n : kNames) {
    if (name_or_id == n.name) return n.id;
  }
  if (name_or_id.empty() || name_or_id.size() > 9) return -1;
  std::int32_t id = 0;
  for (char c : name_or_id) {
    if (c < '0' || c > '9') return -1;
    id = id * 10 + (c - '0');
  }
  return id;
}

std::string protocol_short_name(std::int32_t id) {
  for (const auto& n : kNames) {
    if (n.id == id) return n.name;
  }
  return std::to_string(id);
}

std::string protocol_name_list() {
  std::string out;
  for (const auto& n : kNames) out += (out.empty() ? "" : ", ") + std::string(n.name);
  return out;
}

}  // namespace hardware
