// Feeds arbitrary bytes to the lag-depth tracker as its block of the state file. Whatever it
// takes must be finite marks no more than the bytes could hold, must save and read back the
// same, and must run; a block too short is refused without touching the tracker.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "calc/delayed_depth.h"
#include "calc/lag_queue_format.h"
#include "lib/binary_stream.h"
#include "lib/serial_list.h"

namespace {

bool read_into(calc::DelayedDepth& dd, std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, calc::lag_format::kFullFrame);
  unsigned version = calc::lag_format::kStateVersion;
  try {
    dd.get_serial_list(list, version);
  } catch (const lib::io::StreamError&) {
    return false;
  }
  return true;
}

std::string write_out(calc::DelayedDepth& dd) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, calc::lag_format::kFullFrame);
  unsigned version = 0;
  dd.get_serial_list(list, version);
  return out.data();
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  int told = 0;
  calc::DelayedDepth dd([] { return 1234.5; }, [&](const std::string&) { ++told; });
  dd.add_record({1, 2});
  if (!read_into(dd, bytes)) {
    // Refused: the mark held before is still there.
    if (dd.records().size() != 1 || !(dd.records()[0] == calc::DelayedDepthTime{1, 2}))
      __builtin_trap();
    return 0;
  }
  const std::size_t header = calc::lag_format::kHeaderBytes + calc::lag_format::kCountBytes;
  const std::size_t room = size > header ? (size - header) / calc::lag_format::kMarkBytes : 0;
  if (dd.records().size() > room) __builtin_trap();
  for (const auto& r : dd.records()) {
    if (!std::isfinite(r.depth) || !std::isfinite(r.remaining_volume)) __builtin_trap();
  }
  // A count the data does not hold is always told.
  std::uint32_t claimed = 0;
  if (size >= header) std::memcpy(&claimed, data + calc::lag_format::kHeaderBytes, 4);
  if (size >= header && claimed != dd.records().size() && told == 0) __builtin_trap();

  // What was read saves and reads back the same, with nothing to tell.
  const std::string again = write_out(dd);
  calc::DelayedDepth back([] { return 0.0; }, [&](const std::string&) { __builtin_trap(); });
  if (!read_into(back, again)) __builtin_trap();
  if (!same_bits(back.get_value(), dd.get_value()) ||
      back.get_time_to_depth_out() != dd.get_time_to_depth_out() || back.records() != dd.records())
    __builtin_trap();
  if (write_out(back) != again) __builtin_trap();

  // And it runs.
  for (int i = 0; i < 3; ++i) {
    dd.process_records(1000.0f);
    dd.calc(i, 2.5f);
  }
  dd.init_z();
  return 0;
}
