// The well model the calculations ask for volumes: the well options, the construction, the
// drill string and the planned wellbore, with the mud volume in the hole and the annulus
// volume that combine the hole with the string. Each part is a persistent module of its own;
// the owner registers them by their serial names ("PoreOpts", "PoreConstr", "PromerInstr2",
// "ProjectWellbore").
#pragma once

#include "instr/items.h"
#include "pore/construction.h"
#include "pore/projected_wellbore.h"
#include "pore/well_options.h"

namespace pore {

class PoreOpt {
 public:
  PoreOpt() = default;
  PoreOpt(const PoreOpt&) = delete;
  PoreOpt& operator=(const PoreOpt&) = delete;

  WellOptions& options() { return options_; }
  const WellOptions& options() const { return options_; }
  Construction& construction() { return construction_; }
  const Construction& construction() const { return construction_; }
  instr::Items& instr() { return instr_; }
  const instr::Items& instr() const { return instr_; }
  ProjectedWellbore& projected() { return projected_; }
  const ProjectedWellbore& projected() const { return projected_; }

  // Mud in the hole, m³, with the first n pieces of the string and m further pipes in it:
  // the hole volume (cavern coefficient c) less their steel volume, never below 0.
  double get_volume(int n, int m, double c) const;

  // Annulus volume, m³, with the string down to `depth`: the hole volume less the string's
  // total outer volume, never below 0. When `out` is given it receives the hole volume less
  // the steel down to `depth`, not clamped.
  double get_zatrub_volume(double depth, double c, double* out = nullptr) const;

 private:
  WellOptions options_;
  Construction construction_;
  instr::Items instr_;
  ProjectedWellbore projected_;
};

}  // namespace pore
