#include "pore/well_values.h"

namespace pore {

std::vector<WellValue> well_values(const PoreOpt& pore, const WellValueSources& s) {
  const PoreOpt* p = &pore;
  std::vector<WellValue> v;
  v.push_back({"pore.instr.total_count", "Общее количество свечей", "", 0,
               [p] { return static_cast<double>(p->instr().get_total_count()); }});
  v.push_back({"pore.instr.total_len", "Общая длина инструмента", "м", 0,
               [p] { return p->instr().get_total_len(); }});
  if (s.cavern_coeff && s.stands_in_hole && s.pipes_in_hole) {
    v.push_back({"pore.rastvor_volume", "V р-ра в скважине", "м³", 0, [p, s] {
                   return p->get_volume(s.stands_in_hole(), s.pipes_in_hole(), s.cavern_coeff());
                 }});
  }
  v.push_back({"pore.constr.total_len", "Длина ствола скважины", "м", 0,
               [p] { return p->construction().get_total_len(); }});
  if (s.cavern_coeff) {
    v.push_back({"pore.constr.total_volume", "Объём пустой скважины", "м³", 0,
                 [p, s] { return p->construction().get_volume(s.cavern_coeff()); }});
  }
  if (s.cavern_coeff && s.bit_depth) {
    // This unit has always been written with a plain digit; readers match it as it is.
    v.push_back({"pore.zatrub_volume", "V затрубья", "м3", 0,
                 [p, s] { return p->get_zatrub_volume(s.bit_depth(), s.cavern_coeff()); }});
  }
  v.push_back({"pore.constr.column_bottom", "Глубина спуска колонны", "м", 0,
               [p] { return p->construction().get_column_bottom(); }});
  return v;
}

}  // namespace pore
