#include "storage/average_values.h"

#include "params/par_tabl.h"

namespace ds_tmp {
namespace {
constexpr const char* kSerialName = "AverageValues";
constexpr unsigned kSerialVersion = 1;
}  // namespace

AverageValues::AverageValues(const params::ParTabl& table, CurrentValues& current)
    : SerialModuleBase(kSerialName, kSerialVersion), table_(table), current_(current) {
  clear();
}

void AverageValues::clear() {
  for (auto& w : windows_) w.clear();
  averaged_.fill(false);
  averages_.fill(0);
}

double& AverageValues::operator[](std::string_view identifier) {
  return (*this)[table_.find_global(identifier)];
}

bool AverageValues::take_slot(int index, bool minus_two_only) const {
  // Slots beyond the table have no row: they count as ordinary rows with the shortest window.
  bool separate =
      index < table_.get_items_count() &&
      table_.rows()[static_cast<std::size_t>(index)].channel.channel == kSeparatePassChannel;
  return separate == minus_two_only;
}

void AverageValues::calculate_values(bool minus_two_only) {
  const int rows = table_.get_items_count();
  for (int i = 0; i < kSlots; ++i) {
    if (!take_slot(i, minus_two_only)) continue;
    int length = i < rows ? table_.rows()[static_cast<std::size_t>(i)].averaging : 1;
    auto s = static_cast<std::size_t>(i);
    windows_[s].push(current_[i], length);
    averages_[s] = windows_[s].mean();
    averaged_[s] = windows_[s].size() > 1;
  }
}

void AverageValues::calculate_all_values() {
  const auto& rows = table_.rows();
  for (std::size_t s = 0; s < windows_.size(); ++s) {
    windows_[s].push(current_[static_cast<int>(s)], s < rows.size() ? rows[s].averaging : 1);
    averages_[s] = windows_[s].mean();
    averaged_[s] = windows_[s].size() > 1;
  }
}

double AverageValues::average(int index) const {
  return index >= 0 && index < kSlots ? averages_[static_cast<std::size_t>(index)] : 0.0;
}

std::size_t AverageValues::window_size(int index) const {
  return index >= 0 && index < kSlots ? windows_[static_cast<std::size_t>(index)].size() : 0;
}

void AverageValues::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  // One block of 512 little-endian doubles.
  for (auto& a : averages_) list.add(a);
  if (list.reading()) {
    // The windows are empty after a load, so this lands in the current values: the first
    // tick after a restart starts from the saved averages.
    for (int i = 0; i < kSlots; ++i) (*this)[i] = averages_[static_cast<std::size_t>(i)];
  }
}

}  // namespace ds_tmp
