// The planned wellbore: the calculation method the trajectory is computed with and the
// target circles it is tested against. Kept in the INI section "проект_скважины" and in the
// state file as the module "ProjectWellbore" (docs/well-state.md).
#pragma once

#include "lib/module_base.h"
#include "lib/options.h"
#include "pore/wellbore.h"
#include "pore/wellbore_krug.h"

namespace pore {

class ProjectedWellbore : public lib::SerialModuleBase, public lib::ini_options {
 public:
  static constexpr const char* kSerialName = "ProjectWellbore";
  static constexpr unsigned kSerialVersion = 1;
  static constexpr const char* kSection = "проект_скважины";

  ProjectedWellbore();

  WbCalcMethod method() const { return static_cast<WbCalcMethod>(method_); }
  void set_method(WbCalcMethod method) { method_ = static_cast<int>(method); }
  const WellboreKrug& targets() const { return targets_; }
  WellboreKrug& targets() { return targets_; }

  // Keys: "method"; circle 1 "depth", "radius", "azimut", "smeshenie"; circle 2 the same
  // with "2" appended; the reference altitude "altitude".
  void get_options(lib::options_list& list) override;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  // A WbCalcMethod, held as the option's list index; set_defaults() in the constructor makes
  // it minimum curvature.
  int method_ = 0;
  WellboreKrug targets_;
};

}  // namespace pore
