// One whole data tick of the station on the emulator with a full table of 512 rows: read,
// convert every row, average, advance the storage, announce (which rewrites data/kvb.dat).
#include <benchmark/benchmark.h>

#include <filesystem>

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

void BM_StationTick512Rows(benchmark::State& state) {
  const std::string home = (std::filesystem::temp_directory_path() / "rigcore-bench-station/").string();
  std::filesystem::remove_all(home);
  SteppedClock clock;
  reg::SystemOptions o;
  o.home_folder = home;
  o.clock = &clock;
  o.sleep = [&](int ms) { clock.advance(ms); };
  reg::System hub(o);
  station::Station st(hub);
  st.open({"emulator", "", false});
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
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_StationTick512Rows)->Unit(benchmark::kMicrosecond);

}  // namespace
