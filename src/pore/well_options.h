// The well's identification (field, area, pad, well, crew...) and design values (target
// horizon, depth, azimuth, displacement, tolerance radius, conductor). The identification
// heads every recording file; several values are published as text variables so formulas,
// reports and plug-ins can use them.
//
// Saved in the state file as the module "PoreOpts" (docs/well-state.md); the same options
// load and save in INI form and describe the settings dialog.
#pragma once

#include <functional>
#include <string>

#include "lib/module_base.h"
#include "lib/options.h"

namespace pore {

// Sets one text variable of the station's registry (name, value).
using VariableSink = std::function<void(const std::string& name, const std::string& value)>;

class WellOptions : public lib::SerialModuleBase, public lib::ini_options {
 public:
  static constexpr const char* kSerialName = "PoreOpts";
  static constexpr unsigned kSerialVersion = 1;
  static constexpr const char* kSection = "скважина";
  static constexpr const char* kDesignSection = "проектные_данные";

  WellOptions();

  // Identification.
  std::string deposit;  // field
  std::string area;
  std::string kust;  // well pad
  std::string well;  // well name or number
  std::string category;
  std::string customer;
  std::string ubr;        // drilling department
  std::string gti_party;  // mud-logging crew
  std::string otryad;     // unit
  std::string nasos;      // pump
  std::string operator_name;
  std::string master;   // driller
  std::string brigade;  // drilling crew
  std::string supervising;
  double hole_diameter = 0;  // mm

  // Design values.
  std::string rated_horizon;
  double rated_depth = 0;         // m
  double rated_azimut = 0;        // degrees
  double rated_smeshenie = 0;     // horizontal displacement, m
  double rated_radius = 0;        // tolerance circle radius, m
  double diam_konduktora = 0;     // conductor diameter, mm
  double bashmak_konduktora = 0;  // conductor shoe depth, m

  void get_options(lib::options_list& list) override;

  // Where publish_variables sends the variables; empty means nowhere.
  void set_variable_sink(VariableSink sink) { sink_ = std::move(sink); }
  // Sets the "pore.*" variables from the current values. Called after the state is read;
  // the owner calls it after loading INI text or editing the options.
  void publish_variables() const;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;
  void after_deserialize() override { publish_variables(); }

 private:
  VariableSink sink_;
};

}  // namespace pore
