// The key and initialisation vector of the bus cipher. They are shared with the device
// firmware and fixed per build: the CMake cache variables RIGCORE_BUS_KEY_HEX (64 hex
// digits) and RIGCORE_BUS_IV_HEX (32 hex digits) give them; the defaults are test values
// (docs/bus-2017-packets.md).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hardware {

struct BusCipherKey {
  std::array<std::uint8_t, 32> key{};
  std::array<std::uint8_t, 16> iv{};
  bool operator==(const BusCipherKey&) const = default;
};

// The values this build was configured with.
const BusCipherKey& configured_bus_cipher_key();

// Key and vector from hex text (64 and 32 digits, either case); nullopt on anything else.
std::optional<BusCipherKey> parse_bus_cipher_key(std::string_view key_hex, std::string_view iv_hex);

}  // namespace hardware
