// What the parameter editor of a host needs to know about the running station.
#pragma once

#include <functional>
#include <string>

namespace reg {

struct HostData {
  std::string text;         // a run-time text of the global settings
  bool reg_active = false;  // a registration run is in progress
  // The last raw ADC reading of (device address, channel); empty until the field bus exists.
  std::function<int(int device, int channel)> adc_reader;
};

}  // namespace reg
