#include "pore/well_options.h"

#include "lib/str_utils.h"
#include "pore/options_block.h"

namespace pore {

WellOptions::WellOptions() : SerialModuleBase(kSerialName, kSerialVersion) {
  set_defaults();
}

void WellOptions::get_options(lib::options_list& o) {
  o.sector(kSection, "Скважина");
  o.add("месторождение", "Месторождение", deposit, "");
  o.add("площадь", "Площадь", area, "");
  o.add("куст", "Куст", kust, "");
  o.add("скважина", "Скважина", well, "");
  o.add("категория_скважины", "Категория скважины", category, "");
  o.add("заказчик", "Заказчик", customer, "");
  o.add("убр", "УБР", ubr, "");
  o.add("партия_гти", "Партия ГТИ", gti_party, "");
  o.add("отряд", "Отряд", otryad, "");
  o.add("насос", "Насос", nasos, "");
  o.add("оператор", "Оператор", operator_name, "");
  o.add("мастер", "Мастер", master, "");
  o.add("буровая_бригада", "Буровая бригада", brigade, "");
  o.add("супервайзинг", "Супервайзинг", supervising, "");
  o.add("диаметр_скважины", "Диаметр скважины", hole_diameter, 0.0, 1)
      .set_unit("мм")
      .set_range(0, 2000);

  o.sector(kDesignSection, "Проектные данные");
  o.add("проектный_горизонт", "Проектный горизонт", rated_horizon, "");
  o.add("проектная_глубина", "Проектная глубина", rated_depth, 0.0, 2)
      .set_unit("м")
      .set_range(0, 20000);
  o.add("проектный_азимут", "Проектный азимут", rated_azimut, 0.0, 2)
      .set_unit("°")
      .set_range(0, 360);
  o.add("проектное_смещение", "Проектное смещение", rated_smeshenie, 0.0, 2)
      .set_unit("м")
      .set_range(0, 20000);
  o.add("радиус_круга_допуска", "Радиус круга допуска", rated_radius, 0.0, 2)
      .set_unit("м")
      .set_range(0, 20000);
  o.add("диаметр_кондуктора", "Диаметр кондуктора", diam_konduktora, 0.0, 1)
      .set_unit("мм")
      .set_range(0, 2000);
  o.add("башмак_кондуктора", "Башмак кондуктора", bashmak_konduktora, 0.0, 2)
      .set_unit("м")
      .set_range(0, 20000);
}

void WellOptions::publish_variables() const {
  if (!sink_) return;
  auto number = [](double v) { return lib::float_to_str(v); };
  sink_("pore.rated_horizon", rated_horizon);
  sink_("pore.rated_depth", number(rated_depth));
  sink_("pore.rated_azimut", number(rated_azimut));
  sink_("pore.rated_smeshenie", number(rated_smeshenie));
  sink_("pore.rated_radius", number(rated_radius));
  // The name is spelled so in every formula and report that reads it.
  sink_("pore.diam_kondukora", number(diam_konduktora));
  sink_("pore.bashmak_konduktora", number(bashmak_konduktora));
  sink_("pore.area", area);
  sink_("pore.origin", well);
  sink_("pore.kust", kust);
  sink_("pore.deposit", deposit);
}

void WellOptions::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  serial_options(list, *this);
}

}  // namespace pore
