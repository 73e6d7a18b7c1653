// The named values the well model offers the station's value registry. The registry and the
// modules some values need (the run record's cavern coefficient, the bit depth, the stand
// counter) belong to the owner, who hands their readings in as sources; a value whose
// sources are not given is not offered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pore/pore_opt.h"

namespace pore {

struct WellValue {
  std::string name;
  std::string full_name;
  std::string unit;
  int type = 0;  // display kind: 0 a plain number
  std::function<double()> getter;
};

struct WellValueSources {
  std::function<double()> cavern_coeff;  // the run's cavern coefficient
  std::function<double()> bit_depth;     // current bit depth, m
  std::function<int()> stands_in_hole;   // the stand counter's stands
  std::function<int()> pipes_in_hole;    // and its further pipes
};

// The values in the order the station registers them. The getters read `pore` when called,
// so it must outlive the registered values.
std::vector<WellValue> well_values(const PoreOpt& pore, const WellValueSources& sources);

}  // namespace pore
