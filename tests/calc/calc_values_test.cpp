#include "calc/calc_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "params/global_nums.h"
#include "pore/pore_opt.h"
#include "pore/well_builders.h"

using namespace calc;

namespace {

// Current values by name; a name gets a row when the test gives it a value or asks for it
// to exist.
class FakeTable : public CalcValueTable {
 public:
  int row_of(std::string_view identifier) const override {
    const auto it = rows_.find(std::string(identifier));
    return it == rows_.end() ? -1 : it->second;
  }
  double value(int row) const override {
    return row >= 0 && row < static_cast<int>(values_.size())
               ? values_[static_cast<std::size_t>(row)]
               : 0.0;
  }
  void set_value(int row, double v) override {
    if (row >= 0 && row < static_cast<int>(values_.size()))
      values_[static_cast<std::size_t>(row)] = v;
  }
  double bit_depth() const override { return bit; }

  int add(const std::string& name, double v = 0) {
    const int row = static_cast<int>(values_.size());
    rows_[name] = row;
    values_.push_back(v);
    return row;
  }
  double& operator[](const std::string& name) {
    return values_.at(static_cast<std::size_t>(rows_.at(name)));
  }

  double bit = 0;

 private:
  std::map<std::string, int> rows_;
  std::vector<double> values_;
};

// A parameter table holding the given identifiers, for GlobalNums.
struct Rig {
  FakeTable table;
  reg::GlobalNums nums;
  CalcValuesData data;
  std::vector<std::string> log;
  CalcValues calc;

  Rig() {
    for (const char* n :
         {"обороты_турбины", "объем_актив_емкости", "объем_в_доливных_емкостях",
          "объем_в_приёмных_емкостях", "объем_раствора", "глубина_инстр_пром", "объем_спущ_мет"}) {
      table.add(n);
    }
    for (int k = 1; k <= 3; ++k) {
      table.add(VEmkOpts::level_name(k));
      table.add(VEmkOpts::volume_name(k));
    }
    calc.set_error_sink([this](const std::string& m) { log.push_back(m); });
    data.values = &table;
    data.global_nums = &nums;
  }
};

}  // namespace

TEST(CalcValues, ALevelThatIsNotANumberKeepsTheTanksLastVolume) {
  Rig rig;
  rig.table[VEmkOpts::level_name(2)] = 1.0;
  rig.calc.calc_and_store(rig.data);
  ASSERT_DOUBLE_EQ(rig.table["объем_в_емкости2"], 30.0);
  rig.table[VEmkOpts::level_name(2)] = std::numeric_limits<double>::quiet_NaN();
  rig.calc.calc_and_store(rig.data);
  rig.calc.calc_and_store(rig.data);
  EXPECT_DOUBLE_EQ(rig.table["объем_в_емкости2"], 30.0);
  EXPECT_DOUBLE_EQ(rig.table["объем_актив_емкости"], 30.0);
  ASSERT_EQ(rig.log.size(), 1u) << "told once";
  EXPECT_NE(rig.log[0].find("уровень_в_емкости2"), std::string::npos) << rig.log[0];
  rig.table[VEmkOpts::level_name(2)] = 0.5;
  rig.calc.calc_and_store(rig.data);
  EXPECT_DOUBLE_EQ(rig.table["объем_в_емкости2"], 15.0);
}

TEST(CalcValues, AFailingModuleIsLoggedWithItsNameAndTheOthersStillRun) {
  Rig rig;
  CalcValuesData broken;  // no value table
  broken.global_nums = &rig.nums;
  int pipes_runs = 0;
  rig.calc.execute_module(
      {"CalcValues::calc_units", [&](CalcValuesData& d) { rig.calc.calc_units(d); }}, broken);
  ASSERT_EQ(rig.log.size(), 1u);
  EXPECT_EQ(rig.log[0],
            "Исключение в  CalcValues::calc_units (no current values or well-known rows were "
            "given).");
  rig.calc.execute_module({"X", [&](CalcValuesData&) { throw 42; }}, rig.data);
  EXPECT_EQ(rig.log.back(), "Неизвестное исключение в X.");
  rig.calc.execute_module({"Y", [&](CalcValuesData&) { ++pipes_runs; }}, rig.data);
  EXPECT_EQ(pipes_runs, 1);

  // A failing tick is logged under the module's name; the next tick works again.
  rig.log.clear();
  rig.calc.calc_and_store(broken);
  ASSERT_EQ(rig.log.size(), 1u);
  rig.table[VEmkOpts::level_name(1)] = 1.0;
  rig.calc.calc_and_store(rig.data);
  EXPECT_DOUBLE_EQ(rig.table["объем_в_емкости1"], 30.0);
}
