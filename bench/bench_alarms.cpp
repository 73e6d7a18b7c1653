// Cost of one alarm pass over a full table of 512 rows and 200 thresholds.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "alarms/min_max_kinds.h"
#include "alarms/min_max_log.h"
#include "alarms/min_max_values.h"
#include "lib/lock_object.h"
#include "params/all_params.h"
#include "params/param.h"
#include "registry/values.h"
#include "storage/data_storage.h"

namespace {

// `firing` of the 200 thresholds are broken on every pass (their episodes stay current).
void BM_AlarmPass(benchmark::State& state) {
  const auto firing = static_cast<int>(state.range(0));
  params::AllParams catalogue(std::filesystem::temp_directory_path().string() + "/",
                              lib::posix_file_system());
  ds_tmp::DataStorage ds(catalogue);
  for (int i = 0; i < ds_tmp::kSlots; ++i) {
    params::Param row;
    row.identifier = "параметр_" + std::to_string(i);
    ds.par_tabl().add(row);
  }
  lib::lock_object lock;
  reg::Values values(lock);
  alarms::MinMaxValues thresholds;
  for (int i = 0; i < 200; ++i) {
    const int row = (i * 7) % ds.par_tabl().get_items_count();
    const std::string& id = ds.par_tabl()[row].identifier;
    ds.current_values()[row] = i < firing ? 150.0 : 50.0;
    if (i % 4 == 0) {
      thresholds.add(std::make_unique<alarms::MinMaxRelayValue>(id, 10, 100 + i, 1 + i % 4));
    } else {
      thresholds.add(std::make_unique<alarms::MinMaxValue>(id, 10, 100 + i % 40));
    }
  }
  alarms::MinMaxLogServices s;
  s.thresholds = &thresholds;
  s.storage = &ds;
  s.values = &values;
  s.use_pult_relay = [] { return true; };
  alarms::MinMaxLog log(std::move(s), lib::system_clock());
  for (auto _ : state) benchmark::DoNotOptimize(log.process());
  state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_AlarmPass)->Arg(0)->Arg(20)->Arg(200);

}  // namespace
