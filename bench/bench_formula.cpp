// Formula evaluation: the reference evaluator (tokenize, convert and reduce on every call)
// against the compiled form, over a resolver shaped like the station's value registry
// (a hash lookup by name).
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>

#include "formula/calculator.h"
#include "formula/compiled_formula.h"

namespace {

// A derived parameter as an operator would write it.
const std::string kTypical =
    "(давление_на_входе - давление_на_выходе) * 0,0981 + sin(угол * pi / 180) * вес_на_крюке / 2";

// A sum of `terms` names: the cost as a function of the formula's length.
std::string sum_of(int terms) {
  std::string text = "v0";
  for (int i = 1; i < terms; ++i) text += "+v" + std::to_string(i % 8);
  return text;
}

const formula::Resolver& registry_like_resolver() {
  static const std::unordered_map<std::string, double> values = {{"давление_на_входе", 120.5},
                                                                 {"давление_на_выходе", 3.25},
                                                                 {"угол", 30},
                                                                 {"вес_на_крюке", 84},
                                                                 {"v0", 1},
                                                                 {"v1", 2},
                                                                 {"v2", 3},
                                                                 {"v3", 4},
                                                                 {"v4", 5},
                                                                 {"v5", 6},
                                                                 {"v6", 7},
                                                                 {"v7", 8}};
  static const formula::Resolver resolver = [](const std::string& name) {
    const auto it = values.find(name);
    return it == values.end() ? 0.0 : it->second;
  };
  return resolver;
}

std::string formula_for(const benchmark::State& state) {
  return state.range(0) == 0 ? kTypical : sum_of(static_cast<int>(state.range(0)));
}

void BM_FormulaReference(benchmark::State& state) {
  const std::string text = formula_for(state);
  const formula::Resolver& resolver = registry_like_resolver();
  for (auto _ : state) {
    benchmark::DoNotOptimize(formula::Calculator::calculate(text, resolver));
  }
}

void BM_FormulaCompiled(benchmark::State& state) {
  const formula::CompiledFormula program = formula::CompiledFormula::compile(formula_for(state));
  const formula::Resolver& resolver = registry_like_resolver();
  for (auto _ : state) benchmark::DoNotOptimize(program.evaluate(resolver));
}

void BM_FormulaCompile(benchmark::State& state) {
  const std::string text = formula_for(state);
  for (auto _ : state) benchmark::DoNotOptimize(formula::CompiledFormula::compile(text));
}

// 0: the typical formula; otherwise a sum of that many names (257 is the longest allowed).
#define FORMULA_SIZES Arg(0)->Arg(8)->Arg(64)->Arg(257)
BENCHMARK(BM_FormulaReference)->FORMULA_SIZES;
BENCHMARK(BM_FormulaCompiled)->FORMULA_SIZES;
BENCHMARK(BM_FormulaCompile)->FORMULA_SIZES;

}  // namespace
