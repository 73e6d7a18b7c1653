// What Items::calc_misc works out for the drill string in one pass: the first n pieces, the
// part down to a depth and the whole string. The fields are floats because every consumer
// stores them as such.
#pragma once

#include <cstdint>

#include "instr/elem.h"

namespace instr {

struct CalcResult {
  float len_n = 0;           // length of the first n pieces (and the extra pipes), m
  float weight_n = 0;        // their weight
  float metal_volume = 0;    // steel volume of the whole string, m³
  float metal_volume_n = 0;  // steel volume of the first n pieces, m³
  float total_len = 0;       // length of the whole string, m
  float total_count = 0;     // pieces in the whole string
  float total_volume = 0;    // outer (displaced) volume of the whole string, m³
  float total_weight = 0;
  float max_diameter = 0;        // largest outer diameter, mm
  float total_volume_n = 0;      // outer volume of the first n pieces, m³
  float metal_volume_depth = 0;  // steel volume down to the given depth, m³
  float metal_weight_depth = 0;  // steel weight down to the given depth
  Elem elem;                     // the element in which the first n pieces end
  std::int32_t elem_count = 0;   // pieces taken from that element
  std::int32_t elem_pipes = 0;   // extra pipes asked for from it

  void clear() { *this = CalcResult{}; }
};

}  // namespace instr
