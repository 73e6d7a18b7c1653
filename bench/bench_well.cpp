// The well model's per-tick work: the calculated-values module asks the drill string and the
// hole for volumes every second, so calc_misc and the hole volume must stay far below a
// millisecond even for a long tally; the trajectory of a few thousand stations is recomputed
// whenever a survey arrives and should take no more than a few milliseconds.
#include <benchmark/benchmark.h>

#include "pore/pore_opt.h"
#include "pore/wellbore.h"

namespace {

// A tally of `stands` elements of one stand each (the worst case: every stand measured).
void fill_tally(instr::Items& items, int stands) {
  std::vector<instr::Elem> elems;
  for (int i = 0; i < stands; ++i) {
    instr::Elem e;
    e.type = static_cast<int>(instr::ElemType::kSvecha);
    e.count = 1;
    e.pipe_lengths = {12.f + (i % 7) * 0.01f, 12.f, 12.5f};
    e.outer_diameter = 127;
    e.wall_thickness = 9;
    e.weight_per_metre = 29.1f;
    elems.push_back(e);
  }
  items.set_elems(std::move(elems));
}

void BM_CalcMisc(benchmark::State& state) {
  instr::Items items;
  fill_tally(items, static_cast<int>(state.range(0)));
  instr::CalcResult r;
  const int n = items.get_total_count();
  for (auto _ : state) {
    items.calc_misc(n, 0, items.get_total_len() * 0.7, r);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_CalcMisc)->Arg(100)->Arg(1000);

void BM_ZatrubVolume(benchmark::State& state) {
  pore::PoreOpt pore;
  fill_tally(pore.instr(), 200);
  std::vector<pore::ConstrElement> elements(5);
  for (int i = 0; i < 5; ++i) {
    elements[i].top = static_cast<float>(i * 400);
    elements[i].bottom = 2000;
    elements[i].diameter = static_cast<float>(400 - i * 40);
  }
  pore.construction().set_elements(elements);
  for (auto _ : state) benchmark::DoNotOptimize(pore.get_zatrub_volume(1500, 1.1));
}
BENCHMARK(BM_ZatrubVolume);

void BM_WellboreCalculate(benchmark::State& state) {
  pore::Wellbore w;
  std::vector<pore::WellborePoint> points(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].depth = static_cast<float>(i * 3);  // 5000 stations stay within 20 km
    points[i].zenit = static_cast<float>((i * 7) % 90);
    points[i].azimut = static_cast<float>((i * 13) % 360);
  }
  w.set_points(points);
  pore::WellboreKrug targets;
  targets.circles[0] = {1500, 50, 300, 45};
  for (auto _ : state) {
    w.set_need_recalc();
    w.calculate(pore::WbCalcMethod::kTangentialCurvature, targets);
  }
}
BENCHMARK(BM_WellboreCalculate)->Arg(1000)->Arg(5000);

}  // namespace
