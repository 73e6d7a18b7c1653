#include "hardware/bus2017/bus_cipher_key.h"

#include <cstdlib>

#include "bus_cipher_key_values.h"

namespace hardware {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <std::size_t N>
bool parse_hex(std::string_view text, std::array<std::uint8_t, N>& out) {
  if (text.size() != 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    int high = hex_digit(text[2 * i]);
    int low = hex_digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

}  // namespace

std::optional<BusCipherKey> parse_bus_cipher_key(std::string_view key_hex,
                                                 std::string_view iv_hex) {
  BusCipherKey result;
  if (!parse_hex(key_hex, result.key) || !parse_hex(iv_hex, result.iv)) return std::nullopt;
  return result;
}

const BusCipherKey& configured_bus_cipher_key() {
  // CMake checks the digits at configure time, so a bad value never reaches a build.
  static const BusCipherKey key = [] {
    auto parsed = parse_bus_cipher_key(RIGCORE_BUS_KEY_HEX_TEXT, RIGCORE_BUS_IV_HEX_TEXT);
    if (!parsed) std::abort();
    return *parsed;
  }();
  return key;
}

}  // namespace hardware
