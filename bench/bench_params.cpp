// The parameter model on the acquisition path and in the editor: converting one raw input
// (every configured row, every tick), finding a row by identifier, and applying the
// dependency rules to a station-sized table (after every edit).
#include <benchmark/benchmark.h>

#include <string>

#include "params/all_params.h"
#include "params/par_tabl.h"
#include "params/param.h"

namespace {

const params::AllParams& catalogue() {
  static const params::AllParams instance("/nonexistent-rigcore-home/", lib::posix_file_system());
  return instance;
}

// A table like a working station's: the first 100 built-in parameters.
params::ParTabl station_table() {
  params::ParTabl table(catalogue());
  for (int i = 0; i < 100; ++i) table.add(catalogue().at(i).identifier);
  table.check();
  return table;
}

const lib::DateTime kNow{45000.0};

void BM_ConvertLinear(benchmark::State& state) {
  params::Param p;
  p.identifier = "давление_на_входе";
  p.range = 250;
  double v = 0;
  for (auto _ : state) {
    v += 0.001;
    benchmark::DoNotOptimize(p.calc_value_by_voltage(v, 1.0, kNow));
  }
}
BENCHMARK(BM_ConvertLinear);

void BM_ConvertCalibrated(benchmark::State& state) {
  params::Param p;
  p.identifier = "давление_на_входе";
  for (int i = 0; i < state.range(0); ++i) p.points.push_back({i * 0.5, i * i * 1.0});
  double v = 0;
  for (auto _ : state) {
    v = v > state.range(0) * 0.5 ? 0 : v + 0.01;
    benchmark::DoNotOptimize(p.calc_value_by_voltage(v, 1.0, kNow));
  }
}
BENCHMARK(BM_ConvertCalibrated)->Arg(2)->Arg(10)->Arg(50);

void BM_ConvertRadioactiveMeter(benchmark::State& state) {
  params::Param p;
  p.identifier = "плотн_пж_вх_радиоакт";
  p.range = 2.5f;
  p.ext_info.set("last_calibr_time", "44000");
  p.ext_info.set("half_life", "30.1");
  p.ext_info.set("radio_koeff", "0.998");
  for (auto _ : state) benchmark::DoNotOptimize(p.calc_value_by_voltage(2.0, 1.0, kNow));
}
BENCHMARK(BM_ConvertRadioactiveMeter);

void BM_FindGlobalLastRow(benchmark::State& state) {
  const params::ParTabl table = station_table();
  const std::string wanted = table[table.get_items_count() - 1].identifier;
  for (auto _ : state) benchmark::DoNotOptimize(table.find_global(wanted));
}
BENCHMARK(BM_FindGlobalLastRow);

void BM_CheckDependencies(benchmark::State& state) {
  params::ParTabl table = station_table();
  for (auto _ : state) table.check();
}
BENCHMARK(BM_CheckDependencies);

}  // namespace
