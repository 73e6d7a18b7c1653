// The short names by which people pick a data source on the command line, one table for
// every tool: "run --protocol console2017" and "ports scan --protocol console2017" mean the
// same protocol. The numeric ids stay accepted too.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace hardware {

struct ProtocolName {
  const char* name;
  std::int32_t id;
};

// In the order the tools list them.
std::span<const ProtocolName> protocol_names();
// The id of a name, or of an id written in decimal digits; -1 when it is neither. A number
// is not checked against the registry: the caller knows which protocols it offers.
std::int32_t protocol_id_of(const std::string& name_or_id);
// The short name of an id; the id in digits when it has none.
std::string protocol_short_name(std::int32_t id);
// "emulator, console, console2017, junction, depth", for help texts and messages.
std::string protocol_name_list();

}  // namespace hardware
