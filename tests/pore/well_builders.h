// Short builders for the pieces of a well the tests assemble over and over: survey stations,
// drill-string elements and construction elements, and the volume of a plain cylinder.
#pragma once

#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "instr/elem.h"
#include "pore/constr_element.h"
#include "pore/wellbore_point.h"

namespace pore_tests {

inline pore::WellborePoint station(float md, float inc, float az) {
  pore::WellborePoint p;
  p.depth = md;
  p.zenit = inc;
  p.azimut = az;
  return p;
}

inline instr::Elem make_elem(instr::ElemType type, int count, std::vector<float> pipes, float od,
                             float wall, float weight = 0) {
  instr::Elem e;
  e.type = static_cast<std::int32_t>(type);
  e.count = count;
  e.pipe_lengths = std::move(pipes);
  e.outer_diameter = od;
  e.wall_thickness = wall;
  e.weight_per_metre = weight;
  return e;
}

inline pore::ConstrElement element(std::string name, float top, float bottom, float diameter,
                                   bool used = true) {
  pore::ConstrElement e;
  e.name = std::move(name);
  e.top = top;
  e.bottom = bottom;
  e.diameter = diameter;
  e.used = used;
  return e;
}

// Volume in m³ of a cylinder given its diameter in mm and length in m.
inline double cylinder(double diameter_mm, double length) {
  const double r = diameter_mm / 2000;
  return std::numbers::pi * r * r * length;
}

}  // namespace pore_tests
