#include "pore/pore_opt.h"

#include <algorithm>

namespace pore {

double PoreOpt::get_volume(int n, int m, double c) const {
  instr::CalcResult r;
  instr_.calc_misc(n, m, instr_.get_total_len(), r);
  return std::max(0.0, construction_.get_volume(c) - r.metal_volume_n);
}

double PoreOpt::get_zatrub_volume(double depth, double c, double* out) const {
  instr::CalcResult r;
  instr_.calc_misc(instr_.get_total_count(), 0, depth, r);
  const double hole = construction_.get_volume(c);
  if (out != nullptr) *out = hole - r.metal_volume_depth;
  return std::max(0.0, hole - r.total_volume);
}

}  // namespace pore
