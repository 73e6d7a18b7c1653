// Where a parameter row takes its raw input from: an I/O module address, the input number
// on that module and the kind of input. The same triple selects one raw value out of a
// field-bus reading, so the acquisition code and the table agree on what "channel" means.
#pragma once

#include <cstdint>

namespace params {

// Kinds of input a row can be fed from.
enum ChannelType : std::int32_t {
  kChannelAnalog = 0,   // raw ADC value of an analog input
  kChannelRate = 1,     // pulse input read as a rate (pump strokes, rotary speed)
  kChannelCounter = 2,  // pulse input read as a running count
  kChannelWits = 3,     // fed from a WITS stream, not from the field bus
};

// Input number meaning "no device channel feeds this row".
inline constexpr std::int32_t kNoChannel = -1;

struct USOChannel {
  std::int32_t module = 0;            // address of the I/O module on the bus
  std::int32_t channel = kNoChannel;  // input number on the module
  std::int32_t type = kChannelAnalog;

  USOChannel() = default;
  USOChannel(std::int32_t module_address, std::int32_t channel_number, std::int32_t channel_type)
      : module(module_address), channel(channel_number), type(channel_type) {}

  bool has_channel() const { return channel >= 0; }
  bool operator==(const USOChannel&) const = default;
};

}  // namespace params
