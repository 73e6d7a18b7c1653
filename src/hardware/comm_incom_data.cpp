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

bool CommIncomData::got_value(const params::USOChannel& channel) const {
  const auto it = modules.find(channel.module);
  if (it == modules.end()) return false;
  const USOData& data = it->second;
  switch (channel.type) {
    case params::kChannelAnalog:
      return in_range(data.adc, channel.channel);
    case params::kChannelRate:
      return in_range(data.freq, channel.channel);
    case params::kChannelCounter:
      return in_range(data.counters, channel.channel);
    default:
      return false;
  }
}

double CommIncomData::values(const params::USOChannel& channel) const {
  if (!got_value(channel)) return 0.0;
  const USOData& data = modules.at(channel.module);
  const auto i = static_cast<std::size_t>(channel.channel);
  switch (channel.type) {
    case params::kChannelAnalog:
      return data.adc[i];
    case params::kChannelRate:
      return data.freq[i];
    case params::kChannelCounter:
      return data.counters[i];
    default:
      return 0.0;
  }
}

}  // namespace hardware
