// Moving averages of every parameter slot, one window per slot whose length is the row's
// averaging count (clamped to 1..1000). Saved in the state file as "AverageValues"; on
// loading, the saved averages are written back through the storage's read rule, so the
// first tick after a restart starts from them.
#pragma once

#include <array>
#include <string_view>

#include "lib/module_base.h"
#include "storage/average_window.h"
#include "storage/current_values.h"

namespace params {
class ParTabl;
}

namespace ds_tmp {

// The device channel number that marks the rows averaged in the separate pass.
inline constexpr int kSeparatePassChannel = -2;

class AverageValues : public lib::SerialModuleBase {
 public:
  AverageValues(const params::ParTabl& table, CurrentValues& current);

  // The value a reader sees for a slot: the average when the window holds more than one
  // value, else the slot's current value. Outside 0..511: a zeroed spare slot.
  double& operator[](int index) {
    if (index < 0 || index >= kSlots) {
      spare_ = 0;
      return spare_;
    }
    const auto i = static_cast<std::size_t>(index);
    return averaged_[i] ? averages_[i] : current_[index];
  }
  double& operator[](std::string_view identifier);
  double& operator[](const char* identifier) { return (*this)[std::string_view(identifier)]; }

  // Appends every slot's current value to its window and recomputes the averages, over
  // either the rows whose channel number is -2 (minus_two_only) or all others.
  void calculate_values(bool minus_two_only);
  // Both passes in one walk over the slots, as the data tick runs them back to back: each
  // slot's window takes its value once either way.
  void calculate_all_values();
  // Empties the windows and zeroes the averages.
  void clear();

  // The stored average, as computed by the last pass (for tests and dumps).
  double average(int index) const;
  std::size_t window_size(int index) const;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  bool take_slot(int index, bool minus_two_only) const;

  const params::ParTabl& table_;
  CurrentValues& current_;
  std::array<AverageWindow, kSlots> windows_;
  double spare_ = 0;
  std::array<double, kSlots> averages_{};
  // Whether each window holds more than one value, kept beside the averages: the readers of
  // every slot (the live frame, the web view) then touch 512 flags, not 512 windows.
  std::array<bool, kSlots> averaged_{};
};

}  // namespace ds_tmp
