// The "derived values" plug-in: the operator defines parameters by formula in the file
// "derived_values.ini" of the station's work folder; each becomes a named value of the
// station, recomputed once per tick (when the tick's calculations are complete) from the
// current values, through the host services only.
//
// Formulas are evaluated in file order, so a formula may use a derived value defined above
// it and sees this tick's result; a name defined below reads last tick's.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "formula/compiled_formula.h"
#include "plugin_host/plugin_interface.h"

namespace derived_values {

inline constexpr const char* kPluginName = "derived_values";

class DerivedValuesPlugin : public reg::RegPlugin {
 public:
  void get_info(reg::PluginInfo& info) override;
  // Reads the file and registers its values.
  void init() override;
  // The options dialog of this plug-in is the file itself: reread it.
  void options() override;
  void data_calc_completed() override;
  std::string status_text() override;

  std::size_t formula_count() const { return formulas_.size(); }

 private:
  struct Derived {
    std::string name;
    formula::CompiledFormula formula;
    // Shared with the getter registered in the station, which outlives a reread.
    std::shared_ptr<double> value;
    bool failing = false;  // its last evaluation failed (logged once until it recovers)
  };

  void load();
  void evaluate(Derived& derived);

  std::vector<Derived> formulas_;
  // Every value this plug-in ever registered, by name: a reread keeps them, since the
  // station cannot forget a name; a name dropped from the file reads 0.
  std::vector<std::pair<std::string, std::shared_ptr<double>>> registered_;
  int failing_count_ = 0;
};

}  // namespace derived_values
