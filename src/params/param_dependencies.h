// Parameters that only make sense together: a tank volume is computed from its level,
// relative gas from absolute gas, resistivity and conductivity from one another. The table
// keeps each dependant present exactly when one of the parameters it needs is.
#pragma once

#include <string>
#include <vector>

namespace params {

struct ParamDependency {
  std::string required;    // comma-separated: at least one must be in the table ...
  std::string dependants;  // comma-separated: ... for these to stay there
};

// The rules in the order the table applies them; order matters, since a rule may add or
// remove what a later rule looks at.
const std::vector<ParamDependency>& param_dependencies();

}  // namespace params
