// One element of the drill-string tally: a group of identical pieces (stands of drill pipe,
// collars, a bit...), each piece made of one or more pipes of listed lengths. Lengths are in
// metres, diameters and wall thickness in millimetres; volumes come out in cubic metres and
// weights in the unit the operator entered the weight of one metre in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "instr/elem_type.h"

namespace instr {

struct Elem {
  std::int32_t count = 0;           // pieces in the element
  std::int32_t type = 0;            // an ElemType number
  std::vector<float> pipe_lengths;  // the pipes of one piece, m
  float outer_diameter = 0;         // mm
  float weight_per_metre = 0;
  float wall_thickness = 0;  // mm

  // Limits of a sane element; anything outside is a typing or file error.
  static constexpr std::int32_t kMaxCount = 100000;
  static constexpr std::size_t kMaxPipes = 100;
  static constexpr float kMaxPipeLength = 100;  // m
  static constexpr float kMaxDiameter = 2000;   // mm

  // Sum of the pipe lengths.
  double piece_len() const;
  // Length of k pieces; k = -1 means the element's own count, any other negative k gives 0.
  double get_len(int k = -1) const;
  // Length of the first m pipes of one piece (at most the listed ones).
  double get_len_pipes(int m) const;

  // Steel volume of a length of this element: outer minus bore cross-section (each area
  // rounded to float first, as the tally has always been computed) times the length.
  double get_metal_volume(double len) const;
  // Volume the element displaces when closed: the outer cross-section times the length.
  double get_total_volume(double len) const;
  double get_metal_weight(double len) const;

  // The same for k pieces (k as in get_len).
  double get_metal_volume_of(int k) const { return get_metal_volume(get_len(k)); }
  double get_total_volume_of(int k) const { return get_total_volume(get_len(k)); }
  double get_metal_weight_of(int k) const { return get_metal_weight(get_len(k)); }

  bool counted() const { return have_to_be_counted(type); }

  // Why the element cannot be taken (negative or huge count, a length, diameter, wall or
  // weight that is negative, not a number or beyond the limits, a wall thicker than half
  // the diameter); nullopt when it is fine.
  std::optional<std::string> check() const;

  bool operator==(const Elem&) const = default;
};

}  // namespace instr
