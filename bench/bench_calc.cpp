// The depth sensor's conversion of pulses into block travel, as the host calls it for every
// count: the table walk over a 30 m table at 20 pulses per metre (600 pulses from bottom to
// top, rebuilt on every call), beside the same 600 heights summed with one fixed coefficient
// in a plain loop (the floor any walk pays) and the single-coefficient mode.
#include <benchmark/benchmark.h>

#include <vector>

#include "calc/depth_calc.h"

namespace {

calc::DepthCalc thirty_metre_table(int smooth_mode) {
  calc::DepthCalc dc("DepthCalc");
  dc.get_elements_list() = {calc::DolCalibrItem(30, 20, 20), calc::DolCalibrItem(20, 10, 20),
                            calc::DolCalibrItem(10, 0, 20)};
  dc.set_mode(calc::DepthCalc::kModeTable);
  dc.set_smooth_mode(smooth_mode);
  return dc;
}

void BM_SmartCalcTalTable(benchmark::State& state) {
  calc::DepthCalc dc = thirty_metre_table(static_cast<int>(state.range(0)));
  int pulses = 0;
  for (auto _ : state) {
    pulses = pulses == 200 ? 1 : pulses + 1;
    benchmark::DoNotOptimize(dc.smart_calc_tal(pulses, 15.33f, 20, 0, 30));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmartCalcTalTable)->Arg(0)->Arg(1);

// The baseline: the 600 heights of the same span at one coefficient, listed the same way.
void BM_WalkBaselineFixedCoefficient(benchmark::State& state) {
  std::vector<double> heights;
  for (auto _ : state) {
    heights.clear();
    double h = 0;
    heights.push_back(h);
    std::size_t index = 0;
    do {
      h += 1.0 / 20.0;
      heights.push_back(h);
      if (h <= 15.33) index = heights.size() - 1;
    } while (h < 30);
    benchmark::DoNotOptimize(15.33 - heights[index - 100]);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WalkBaselineFixedCoefficient);

void BM_SmartCalcTalSingle(benchmark::State& state) {
  calc::DepthCalc dc = thirty_metre_table(1);
  dc.set_mode(calc::DepthCalc::kModeSingle);
  for (auto _ : state) benchmark::DoNotOptimize(dc.smart_calc_tal(100, 15.33f, 20, 0, 30));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmartCalcTalSingle);

}  // namespace
