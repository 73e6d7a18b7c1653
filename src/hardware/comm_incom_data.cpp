#include "hardware/comm_incom_data.h"

namespace hardware {

std::string CommIncomData::enum_uso_addrs() const {
  std::string text;
  for (const auto& [address, data] : modules) {
    if (!text.empty()) text += ',';
    text += std::to_string(address);
  }
  return text;
}

namespace {
template <typename T>
bool in_range(const std::vector<T>& array, std::int32_t channel) {
  return channel >= 0 && static_cast<std::size_t>(channel) < array.size();
}
}  // namespace

std::optional<double> CommIncomData::value_of(const params::USOChannel& channel) const {
  const auto it = modules.find(channel.module);
  if (it == modules.end()) return std::nullopt;
  const USOData& data = it->second;
  const auto i = static_cast<std::size_t>(channel.channel);
  switch (channel.type) {
    case params::kChannelAnalog:
      if (in_range(data.adc, channel.channel)) return data.adc[i];
      break;
    case params::kChannelRate:
      if (in_range(data.freq, channel.channel)) return data.freq[i];
      break;
    case params::kChannelCounter:
      if (in_range(data.counters, channel.channel)) return data.counters[i];
      break;
    default:
      break;
  }
  return std::nullopt;
}

bool CommIncomData::got_value(const params::USOChannel& channel) const {
  return value_of(channel).has_value();
}

double CommIncomData::values(const params::USOChannel& channel) const {
  return value_of(channel).value_or(0.0);
}

}  // namespace hardware
