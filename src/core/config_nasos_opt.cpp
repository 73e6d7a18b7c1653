#include "core/config_nasos_opt.h"

#include <string>

namespace reg {

double NasosOpt::calc_volume(double strokes) const {
  return strokes * volume * fill_coefficient * range / 60.0;
}

void NasosOpt::add_options(lib::options_list& o, int number) {
  const std::string n = std::to_string(number);
  o.add("коефф_заполн_насоса" + n, "Коэф. заполн. насоса-" + n, fill_coefficient, 0.8);
  o.add("объем_насоса" + n, "Объём насоса-" + n, volume, 8).set_unit("л");
  o.add("rnas" + n, "Диапазон насоса-" + n, range, 60);
  o.add("диам_поршня_насоса" + n, "Диам. поршня насоса-" + n, piston_diameter, 160).set_unit("мм");
  o.add("ход_поршня_насоса" + n, "Ход поршня насоса-" + n, stroke_length, 400).set_unit("мм");
  o.add("диам_штока_насоса" + n, "Диам. штока насоса-" + n, rod_diameter, 80).set_unit("мм");
  o.add("кол_поршней_насоса" + n, "Кол. поршней насоса-" + n, piston_count, 3);
  o.add("двойной_насос" + n, "Двойного действия насос-" + n, double_acting, false);
}

}  // namespace reg
