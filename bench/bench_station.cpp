// One whole data tick of the station on the emulator with a full table of 512 rows: read,
// convert every row, follow the rig, average, advance the storage, announce (which rewrites
// data/kvb.dat).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/system.h"
#include "lib/date_time.h"
#include "params/par_tabl.h"
#include "station/station.h"
#include "storage/data_storage.h"

namespace {

// Time passes only when the station sleeps, so the emulator's one-second pace costs nothing.
class SteppedClock : public lib::Clock {
 public:
  lib::LocalTime local_now() override { return {1'800'000'000 + steady_ / 1000, 0}; }
  std::int64_t steady_ms() override { return steady_; }
  void advance(int ms) { steady_ += ms; }

 private:
  std::int64_t steady_ = 0;
};

// A day of drilling stands with a connection after each: the block comes down 28 m in
// ten minutes with the bit on bottom, then goes up again in the slips.
std::string drilling_day() {
  std::string text = "start bottom=1000 bit=1000 block=30 race=1\n";
  for (int k = 0; k < 144; ++k) {
    const int t = k * 600;
    text += std::to_string(t) + " hook=80 block=30 pressure=90 rpm=60 wob=8 spm1=60\n";
    text += std::to_string(t + 540) + " block=2\n";
    text += std::to_string(t + 545) + " hook=5 pressure=0 spm1=0\n";
    text += std::to_string(t + 595) + " block=30\n";
  }
  return text;
}

void station_tick_512_rows(benchmark::State& state, bool follow_the_rig, int race = 0) {
  const std::string home =
      (std::filesystem::temp_directory_path() / "rigcore-bench-station/").string();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  std::filesystem::create_directories(home);
  SteppedClock clock;
  reg::SystemOptions o;
  o.home_folder = home;
  o.clock = &clock;
  o.sleep = [&](int ms) { clock.advance(ms); };
  reg::System hub(o);
  station::Station st(hub);
  station::StationSettings settings;
  settings.protocol = "emulator";
  settings.restore = false;
  if (follow_the_rig) {
    settings.scenario = home + "day.txt";
    std::ofstream(settings.scenario) << drilling_day();
  }
  settings.race = race;
  st.open(settings);
  // The tick itself: the periodic state save (once a minute, a whole sys.bin) is left out,
  // since the stepped clock would bring one every 60 iterations.
  hub.set_save_period_seconds(0);
  params::ParTabl& table = hub.data_storage().par_tabl();
  table.resize(ds_tmp::kSlots);
  for (int i = 0; i < ds_tmp::kSlots; ++i) {
    params::Param& p = table[i];
    p.channel = params::USOChannel(0, i % 32, params::kChannelAnalog);
    p.averaging = 120;
    p.points = {{1024, 0}, {4095, 100}};
  }
  for (auto _ : state) {
    clock.advance(1000);
    st.tick();
  }
  state.SetItemsProcessed(state.iterations());
  if (follow_the_rig) state.counters["bottom_m"] = st.rig().bottom;
  // The station's writer threads finish before its home goes.
  st.close();
  std::filesystem::remove_all(home, ignored);
}

// The emulator gives no winch count: the tick converts, averages and exports.
void BM_StationTick512Rows(benchmark::State& state) {
  station_tick_512_rows(state, false);
}
BENCHMARK(BM_StationTick512Rows)->Unit(benchmark::kMicrosecond);

// The same with a drilling rig played in: depth tracking, operation recognition, lag marks.
void BM_StationTick512RowsFollowingTheRig(benchmark::State& state) {
  station_tick_512_rows(state, true);
}
BENCHMARK(BM_StationTick512RowsFollowingTheRig)->Unit(benchmark::kMicrosecond);

// The same within a registration run: the stand counter and the run totals (every catalogue
// parameter's run average) on top.
void BM_StationTick512RowsInARun(benchmark::State& state) {
  station_tick_512_rows(state, true, 1);
}
BENCHMARK(BM_StationTick512RowsInARun)->Unit(benchmark::kMicrosecond);

}  // namespace
