#include "hardware/bus2017/pult_conf_data.h"

#include <bit>

namespace hardware {

namespace {
constexpr std::size_t kValuesOffset = 2;
constexpr std::size_t kBytesOffset = kValuesOffset + 7 * 4;
static_assert(kBytesOffset + 2 == PultConfData::kSize);
}  // namespace

std::array<std::uint8_t, PultConfData::kSize> PultConfData::to_bytes() const {
  std::array<std::uint8_t, kSize> out{};
  out[0] = static_cast<std::uint8_t>(word & 0xFF);
  out[1] = static_cast<std::uint8_t>(word >> 8);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto bits = std::bit_cast<std::uint32_t>(values[i]);
    for (std::size_t b = 0; b < 4; ++b)
      out[kValuesOffset + 4 * i + b] = static_cast<std::uint8_t>(bits >> (8 * b));
  }
  out[kBytesOffset] = bytes[0];
  out[kBytesOffset + 1] = bytes[1];
  return out;
}

PultConfData PultConfData::from_bytes(const std::array<std::uint8_t, kSize>& block) {
  PultConfData conf;
  conf.word = static_cast<std::uint16_t>(block[0] | (block[1] << 8));
  for (std::size_t i = 0; i < conf.values.size(); ++i) {
    std::uint32_t bits = 0;
    for (std::size_t b = 0; b < 4; ++b)
      bits |= static_cast<std::uint32_t>(block[kValuesOffset + 4 * i + b]) << (8 * b);
    conf.values[i] = std::bit_cast<float>(bits);
  }
  conf.bytes = {block[kBytesOffset], block[kBytesOffset + 1]};
  return conf;
}

}  // namespace hardware
