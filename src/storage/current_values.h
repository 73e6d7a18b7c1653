// The current (latest, unaveraged) value of every parameter slot.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace params {
class ParTabl;
}

namespace ds_tmp {

inline constexpr int kSlots = 512;

class CurrentValues {
 public:
  explicit CurrentValues(const params::ParTabl& table) : table_(table) { clear(); }

  // The slot's value; an index outside 0..511 gives a spare slot, zeroed first, so writes
  // through it are lost and reads give 0.
  double& operator[](int index) {
    if (index < 0 || index >= kSlots) {
      spare_ = 0;
      return spare_;
    }
    return values_[static_cast<std::size_t>(index)];
  }
  // The slot of the row with this identifier; an unknown name gives the spare slot.
  double& operator[](std::string_view identifier);
  double& operator[](const char* identifier) { return (*this)[std::string_view(identifier)]; }
  double& operator[](const std::string& identifier) {
    return (*this)[std::string_view(identifier)];
  }
  void clear() { values_.fill(0); }

 private:
  const params::ParTabl& table_;
  double spare_ = 0;
  std::array<double, kSlots> values_;
};

}  // namespace ds_tmp
