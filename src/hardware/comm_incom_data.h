// One field-bus reading: a record per module address, plus the collections the 2017 bus
// protocol fills for its consoles and indicators. Copies are deep (plain value semantics).
// The parameter table picks one raw value out of a reading with a USOChannel selector.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hardware/uso_data.h"
#include "params/uso_channel.h"

namespace hardware {

class CommIncomData {
 public:
  std::map<std::int32_t, USOData> modules;
  // Filled by the 2017 bus protocol only; carried along by copies and the hub's last reading.
  std::map<std::int32_t, std::vector<std::uint8_t>> address_blocks;
  std::array<std::set<std::int32_t>, 3> address_sets;

  // Module addresses in ascending order joined by "," ("" when there are none).
  std::string enum_uso_addrs() const;
  // True when the reading holds the selected value (address present, kind 0..2, channel
  // within that kind's array).
  bool got_value(const params::USOChannel& channel) const;
  // The selected value; 0.0 when got_value is false.
  double values(const params::USOChannel& channel) const;
  // Both in one look-up: the selected value, none when got_value is false.
  std::optional<double> value_of(const params::USOChannel& channel) const;
  // The same out of the channel's module record, for a caller that found the module once
  // for many channels; none for a null record.
  static std::optional<double> value_in(const USOData* data, const params::USOChannel& channel) {
    if (data == nullptr || channel.channel < 0) return std::nullopt;
    const auto i = static_cast<std::size_t>(channel.channel);
    switch (channel.type) {
      case params::kChannelAnalog:
        if (i < data->adc.size()) return data->adc[i];
        break;
      case params::kChannelRate:
        if (i < data->freq.size()) return data->freq[i];
        break;
      case params::kChannelCounter:
        if (i < data->counters.size()) return data->counters[i];
        break;
      default:
        break;
    }
    return std::nullopt;
  }
  // The module record of an address; null when the reading has none.
  const USOData* find_module(std::int32_t address) const {
    const auto it = modules.find(address);
    return it == modules.end() ? nullptr : &it->second;
  }
  // The module record, made with its defaults when missing.
  USOData& module(std::int32_t address) { return modules[address]; }

  bool operator==(const CommIncomData&) const = default;
};

}  // namespace hardware
