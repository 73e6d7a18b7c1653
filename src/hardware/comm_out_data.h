// What one send exchange transmits to consoles and indicators. Plug-ins and the station
// fill it before a send; the hub empties the console entries after every successful send,
// so a console block is delivered once.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace hardware {

// Output for one indicator panel: its prepared data block, passed through unchanged.
struct IndicatorOut {
  std::vector<std::uint8_t> data;
  bool operator==(const IndicatorOut&) const = default;
};

// Output for one console: prepared blocks, passed through unchanged. The older console
// takes `values` as one checked output block, or as raw bytes when `raw` is set (a block
// the console's own firmware frames, such as a configuration upload). A 2017 console gets
// `values` and then `config`, both, even when one of them is empty.
//
// With `relays` set, a 2017 console is also told to switch its relays to CommOutData::word:
// the configuration block then starts with the relay word (bit k: relay k + 1, 16 bits,
// little-endian), the first word of the console's configuration layout (PultConfData). An
// empty `config` goes out as that word alone; a longer one has its first word replaced.
struct PultOut {
  std::vector<std::uint8_t> values;
  std::vector<std::uint8_t> config;
  bool raw = false;
  bool relays = false;
  bool operator==(const PultOut&) const = default;
};

struct CommOutData {
  // The console relay mask of the alarm pass; goes to the consoles whose entry asks for it.
  std::uint32_t word = 0;
  std::map<std::int32_t, IndicatorOut> indicators;
  std::map<std::int32_t, PultOut> pults;
  bool operator==(const CommOutData&) const = default;
};

}  // namespace hardware
