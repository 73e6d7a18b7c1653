// Feeds arbitrary bytes to the run totals as their block of the state file. A block they take
// must hold only finite numbers and counts not below zero, no more averages than the bytes
// could hold, and save back and read again the same; a block they refuse must leave the
// totals held. Then the totals must run a few ticks.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calc/race_total.h"
#include "calc/race_total_format.h"
#include "lib/binary_stream.h"
#include "lib/serial_list.h"

namespace {

struct Rig : calc::RaceSource {
  std::vector<std::string> ids{"нагрузка", "давление_на_входе", "вес_на_крюке"};
  double bit_depth() const override { return 1000; }
  double bottom_depth() const override { return 1001; }
  std::int32_t operation() const override { return 2; }
  bool circulation_on() const override { return true; }
  int param_count() const override { return static_cast<int>(ids.size()); }
  std::string_view param_identifier(int i) const override {
    return ids[static_cast<std::size_t>(i)];
  }
  bool param_average(int, double& a) const override {
    a = 12.5;
    return true;
  }
  double inlet_flow() const override { return 30; }
  double pump_strokes() const override { return 100; }
  std::int64_t now_seconds() const override { return 1'700'000'000; }
};

bool read_into(calc::RaceTotal& t, std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, calc::race_format::kFullFrame);
  unsigned version = calc::race_format::kStateVersion;
  try {
    t.get_serial_list(list, version);
  } catch (const lib::io::StreamError&) {
    return false;
  }
  return true;
}

std::string write_out(calc::RaceTotal& t) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, calc::race_format::kFullFrame);
  unsigned version = 0;
  t.get_serial_list(list, version);
  return out.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Rig rig;
  calc::RaceTotal t(&rig);
  t.start();
  t.calculate();
  const std::string before = write_out(t);
  if (!read_into(t, bytes)) {
    if (write_out(t) != before) __builtin_trap();
    return 0;
  }
  using namespace calc::race_format;
  const std::size_t room = size > kHeadBytes + 4 + kTailBytes
                               ? (size - kHeadBytes - 4 - kTailBytes) / kAccumulatorBytes
                               : 0;
  if (t.accumulators().size() > room || t.accumulators().size() > kMaxAccumulators)
    __builtin_trap();
  for (std::int32_t v :
       {t.total_ticks(), t.drilling_ticks(), t.tripping_ticks(), t.tripping_deeper_ticks(),
        t.tripping_shallower_ticks(), t.circulation_ticks(), t.reaming_ticks(), t.flushing_ticks(),
        t.other_ticks()})
    if (v < 0) __builtin_trap();
  for (double v : {t.get_prohodka(), t.get_race_start(), t.get_nasos_rastvor_volume(),
                   t.stroke_sum(), t.end_depth()})
    if (!std::isfinite(v)) __builtin_trap();
  for (const auto& a : t.accumulators())
    if (a.count < 0 || !std::isfinite(static_cast<double>(a.sum))) __builtin_trap();

  // What was read saves and reads back the same.
  const std::string again = write_out(t);
  calc::RaceTotal back(&rig);
  if (!read_into(back, again)) __builtin_trap();
  if (write_out(back) != again) __builtin_trap();

  // And it runs, never going below zero.
  for (int i = 0; i < 3; ++i) t.calculate();
  if (t.total_ticks() < 0 || t.drilling_ticks() < 0) __builtin_trap();
  (void)t.get_race_rate();
  (void)t.average_rop();
  (void)t.get_aver_value("нагрузка");
  return 0;
}
