// One entry of the parameter catalogue: everything the station knows about a parameter
// before the user configures it, and the defaults a new table row starts from.
#pragma once

#include <cstdint>
#include <string>

#include "params/uso_channel.h"

namespace params {

class Param;

struct DefaultParam {
  std::string full_name;
  std::string short_name;
  std::string unit;
  std::string identifier;
  std::int32_t channel = kNoChannel;  // default input on the I/O module
  std::int32_t channel_type = -1;     // -1: not read from a device channel
  std::int32_t averaging = 1;
  std::int32_t group = 0;  // display group (param_groups.h)
  float range = 0;
  float zero = 0;
  float scale_min = 0;
  float scale_max = 0;
  std::uint8_t attribute = 0;
  std::string mnemonic;  // short code of entries registered with one

  // Copies the entry's defaults into a row: names, unit, identifier, channel number and
  // type, averaging, range, zero, scale and attribute. Group and mnemonic are the
  // catalogue's own; the row's module number, points and extended information stay.
  void assign_to(Param& row) const;
};

}  // namespace params
