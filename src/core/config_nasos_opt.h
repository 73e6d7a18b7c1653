// The settings of one mud pump, part of the station configuration. Six of them are shown in
// the configuration's "прочие_настройки" section with the pump's number in key and caption.
#pragma once

#include "lib/options.h"

namespace reg {

struct NasosOpt {
  double volume = 8;              // l per stroke
  double fill_coefficient = 0.8;  // share of the volume actually pumped
  double range = 60;
  double piston_diameter = 160;  // mm
  double stroke_length = 400;    // mm
  double rod_diameter = 80;      // mm
  int piston_count = 3;
  bool double_acting = false;

  // Pumped volume for `strokes`: strokes × volume × fill coefficient × range / 60.
  double calc_volume(double strokes) const;

  // Adds the pump's options to the current sector; `number` (from 1) goes into each key
  // ("объем_насоса2") and caption ("Объём насоса-2").
  void add_options(lib::options_list& list, int number);
};

}  // namespace reg
