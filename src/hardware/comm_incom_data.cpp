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

std::optional<double> CommIncomData::value_of(const params::USOChannel& channel) const {
  return value_in(find_module(channel.module), channel);
}

bool CommIncomData::got_value(const params::USOChannel& channel) const {
  return value_of(channel).has_value();
}

double CommIncomData::values(const params::USOChannel& channel) const {
  return value_of(channel).value_or(0.0);
}

}  // namespace hardware
