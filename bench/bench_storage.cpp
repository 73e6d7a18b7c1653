// Cost of one averaging pass over a full table, per window length.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "params/all_params.h"
#include "storage/data_storage.h"

namespace {

void BM_CalculateValues(benchmark::State& state) {
  const int window = static_cast<int>(state.range(0));
  params::AllParams catalogue(std::filesystem::temp_directory_path().string() + "/",
                              lib::posix_file_system());
  ds_tmp::DataStorage ds(catalogue);
  ds.par_tabl().resize(ds_tmp::kSlots);
  for (int i = 0; i < ds_tmp::kSlots; ++i) ds.par_tabl()[i].averaging = window;
  // Fill the windows first, so the steady state (full windows) is measured.
  double v = 0;
  for (int t = 0; t < window + 1; ++t) {
    for (int i = 0; i < ds_tmp::kSlots; ++i) ds.current_values()[i] = v += 0.37;
    ds.average_values().calculate_values(false);
  }
  for (auto _ : state) {
    for (int i = 0; i < ds_tmp::kSlots; ++i) ds.current_values()[i] = v += 0.37;
    ds.average_values().calculate_values(false);
    benchmark::DoNotOptimize(ds[7]);
  }
  state.SetItemsProcessed(state.iterations() * ds_tmp::kSlots);
}
BENCHMARK(BM_CalculateValues)->Arg(1)->Arg(120)->Arg(1000);

}  // namespace
