// One tick of the calculated values (calc::CalcValues::calc_and_store) with all 16 tanks
// configured and a well model of 300 string elements, the way the station calls it once a
// second; beside it, in the same run, the baseline: the same 16 level lookups by name, level ×
// area and the four totals in a plain loop (what any tank calculation costs before it does
// anything of its own).
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "calc/calc_values.h"
#include "instr/elem.h"
#include "instr/elem_type.h"
#include "params/global_nums.h"
#include "pore/pore_opt.h"

namespace {

// Current values by name, as the data storage's table finds rows by identifier.
class Table : public calc::CalcValueTable {
 public:
  int row_of(std::string_view identifier) const override {
    const auto it = rows_.find(std::string(identifier));
    return it == rows_.end() ? -1 : it->second;
  }
  double value(int row) const override {
    return row < 0 ? 0.0 : values_[static_cast<std::size_t>(row)];
  }
  void set_value(int row, double v) override {
    if (row >= 0) values_[static_cast<std::size_t>(row)] = v;
  }
  double bit_depth() const override { return 2400; }
  void add(const std::string& name, double v) {
    rows_[name] = static_cast<int>(values_.size());
    values_.push_back(v);
  }

 private:
  std::unordered_map<std::string, int> rows_;
  std::vector<double> values_;
};

Table sixteen_tanks() {
  Table t;
  for (const char* n :
       {"обороты_турбины", "объем_актив_емкости", "объем_в_доливных_емкостях",
        "объем_в_приёмных_емкостях", "объем_раствора", "глубина_инстр_пром", "объем_спущ_мет"}) {
    t.add(n, 0);
  }
  for (int k = 1; k <= calc::VEmkOpts::kTankCount; ++k) {
    t.add(calc::VEmkOpts::level_name(k), 0.5 + 0.1 * k);
    t.add(calc::VEmkOpts::volume_name(k), 0);
  }
  return t;
}

void three_hundred_elements(pore::PoreOpt& well) {
  std::vector<instr::Elem> elems;
  for (int i = 0; i < 300; ++i) {
    instr::Elem e;
    e.type = static_cast<std::int32_t>(instr::ElemType::kSvecha);
    e.count = 1;
    e.pipe_lengths = {9.5f, 9.5f, 9.5f};
    e.outer_diameter = 127;
    e.wall_thickness = 9;
    elems.push_back(e);
  }
  well.instr().set_elems(std::move(elems));
  pore::ConstrElement hole;
  hole.name = "Ствол";
  hole.top = 0;
  hole.bottom = 3000;
  hole.diameter = 215.9f;
  hole.used = true;
  well.construction().set_elements({hole});
}

void BM_CalcAndStore16Tanks(benchmark::State& state) {
  Table table = sixteen_tanks();
  reg::GlobalNums nums;
  pore::PoreOpt well;
  three_hundred_elements(well);
  calc::CalcValues calc;
  calc.tanks()[3].set_table({{0, 0}, {0.5f, 8}, {1, 20}, {2.4f, 54}});
  calc::CalcValuesData data;
  data.values = &table;
  data.global_nums = &nums;
  data.pore = &well;
  for (auto _ : state) {
    calc.calc_and_store(data);
    benchmark::DoNotOptimize(calc.mud_volume());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CalcAndStore16Tanks);

// The same tanks without a well model: what the tanks alone cost.
void BM_CalcAndStore16TanksNoWell(benchmark::State& state) {
  Table table = sixteen_tanks();
  reg::GlobalNums nums;
  calc::CalcValues calc;
  calc::CalcValuesData data;
  data.values = &table;
  data.global_nums = &nums;
  for (auto _ : state) {
    calc.calc_and_store(data);
    benchmark::DoNotOptimize(calc.tanks().get_whole_tank_v());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CalcAndStore16TanksNoWell);

// The baseline: 16 lookups of the level by name, level × area, the volume written back by
// name, and the totals, in a plain loop.
void BM_TanksBaselinePlainLoop(benchmark::State& state) {
  Table table = sixteen_tanks();
  std::vector<std::string> levels, volumes;
  for (int k = 1; k <= calc::VEmkOpts::kTankCount; ++k) {
    levels.push_back(calc::VEmkOpts::level_name(k));
    volumes.push_back(calc::VEmkOpts::volume_name(k));
  }
  for (auto _ : state) {
    double whole = 0;
    for (std::size_t i = 0; i < levels.size(); ++i) {
      const double v = table.value(table.row_of(levels[i])) * 30.0;
      table.set_value(table.row_of(volumes[i]), v);
      whole += v;
    }
    table.set_value(table.row_of("объем_актив_емкости"), whole);
    benchmark::DoNotOptimize(whole);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TanksBaselinePlainLoop);

}  // namespace
