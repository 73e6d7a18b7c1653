// Feeds arbitrary bytes to the stand counter as its block of the state file, then as samples.
// A block it takes must hold counts in range and save back the same bytes; a block it refuses
// must leave the counts held. Whatever samples follow, the counts stay in range, the history
// stays bounded and no step fails.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "calc/candle_counter.h"
#include "calc/candle_format.h"
#include "lib/binary_stream.h"
#include "lib/serial_list.h"

namespace {

bool read_into(candles::CandleCounter& cc, std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, 1);
  unsigned version = candles::format::kStateVersion;
  try {
    cc.get_serial_list(list, version);
  } catch (const lib::io::StreamError&) {
    return false;
  }
  return true;
}

std::string write_out(candles::CandleCounter& cc) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, 1);
  unsigned version = 0;
  cc.get_serial_list(list, version);
  return out.data();
}

bool in_range(std::int32_t v) {
  return v >= 0 && v <= candles::format::kMaxCount;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  candles::CandleCounter cc;
  cc.set(7);
  cc.set_pipe(1);
  if (!read_into(cc, bytes)) {
    if (cc.get() != 7 || cc.get_pipe() != 1) __builtin_trap();
  } else {
    if (!in_range(cc.get()) || !in_range(cc.get_pipe())) __builtin_trap();
    if (write_out(cc) != bytes.substr(0, candles::format::kBytes)) __builtin_trap();
  }

  // The rest of the bytes as samples: (load, position) pairs of floats, any bits at all.
  const std::size_t start = size < candles::format::kBytes ? size : candles::format::kBytes;
  const int pipes = size > 0 ? static_cast<int>(data[0] % 5) : 3;  // 0 counts nothing
  std::uint32_t t = 0;
  for (std::size_t i = start; i + 8 <= size; i += 8) {
    candles::Item item;
    std::memcpy(&item.weight, data + i, 4);
    std::memcpy(&item.position, data + i + 4, 4);
    item.time = t++;
    cc.add_item(item);
    try {
      cc.calculate(10.0f, 36.0f, pipes);
    } catch (const candles::CandleError&) {
      __builtin_trap();  // the history guard never fails on the counter's own ranges
    }
    if (cc.items().size() > candles::CandleCounter::kMaxItems) __builtin_trap();
    if (!in_range(cc.get()) || !in_range(cc.get_pipe())) __builtin_trap();
  }
  return 0;
}
