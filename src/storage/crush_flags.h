// One alarm flag per parameter slot: 1 while the parameter is outside one of its alarm
// thresholds as of the last alarm pass.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "storage/current_values.h"

namespace ds_tmp {

class CrushFlags {
 public:
  explicit CrushFlags(const params::ParTabl& table) : table_(table) { clear(); }
  // Out of range (or an unknown name): the spare byte, zeroed first.
  std::uint8_t& operator[](int index) {
    if (index < 0 || index >= kSlots) {
      spare_ = 0;
      return spare_;
    }
    return flags_[static_cast<std::size_t>(index)];
  }
  std::uint8_t& operator[](std::string_view identifier);
  void clear() { flags_.fill(0); }

 private:
  const params::ParTabl& table_;
  std::array<std::uint8_t, kSlots> flags_;
  std::uint8_t spare_ = 0;
};

}  // namespace ds_tmp
