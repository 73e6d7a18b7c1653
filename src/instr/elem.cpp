#include "instr/elem.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace instr {
namespace {

constexpr double kMmToM = 0.001;

// Cross-section area of a circle of diameter d (m), rounded to float.
float circle_area(double d) {
  return static_cast<float>(std::numbers::pi / 4 * d * d);
}

bool in_range(float v, float max) {
  return std::isfinite(v) && v >= 0 && v <= max;
}

}  // namespace

double Elem::piece_len() const {
  double sum = 0;
  for (float l : pipe_lengths) sum += l;
  return sum;
}

double Elem::get_len(int k) const {
  if (k == -1) k = count;
  if (k < 0) return 0;
  return k * piece_len();
}

double Elem::get_len_pipes(int m) const {
  double sum = 0;
  const std::size_t n = m > 0 ? std::min<std::size_t>(m, pipe_lengths.size()) : 0;
  for (std::size_t i = 0; i < n; ++i) sum += pipe_lengths[i];
  return sum;
}

double Elem::get_metal_volume(double len) const {
  const double d = outer_diameter * kMmToM;
  // A wall thicker than the radius leaves no bore, not a negative one.
  const double bore = std::max(0.0, (outer_diameter - 2.0 * wall_thickness) * kMmToM);
  return (static_cast<double>(circle_area(d)) - static_cast<double>(circle_area(bore))) * len;
}

double Elem::get_total_volume(double len) const {
  const double d = outer_diameter * kMmToM;
  return std::numbers::pi / 4 * d * d * len;
}

double Elem::get_metal_weight(double len) const {
  return weight_per_metre * len;
}

std::optional<std::string> Elem::check() const {
  if (count < 0 || count > kMaxCount)
    return "count " + std::to_string(count) + " is outside 0.." + std::to_string(kMaxCount);
  if (pipe_lengths.size() > kMaxPipes)
    return std::to_string(pipe_lengths.size()) + " pipes in one piece, more than " +
           std::to_string(kMaxPipes);
  for (float l : pipe_lengths) {
    if (!in_range(l, kMaxPipeLength)) return "pipe length outside 0..100 m";
  }
  if (!in_range(outer_diameter, kMaxDiameter)) return "outer diameter outside 0..2000 mm";
  if (!std::isfinite(wall_thickness) || wall_thickness < 0)
    return "wall thickness is negative or not a number";
  if (2 * wall_thickness > outer_diameter) return "wall thicker than half the outer diameter";
  if (!std::isfinite(weight_per_metre) || weight_per_metre < 0)
    return "weight of one metre is negative or not a number";
  return std::nullopt;
}

}  // namespace instr
