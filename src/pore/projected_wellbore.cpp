#include "pore/projected_wellbore.h"

#include <string>

#include "pore/options_block.h"

namespace pore {

ProjectedWellbore::ProjectedWellbore() : SerialModuleBase(kSerialName, kSerialVersion) {
  set_defaults();
}

void ProjectedWellbore::get_options(lib::options_list& o) {
  o.sector(kSection, "Проект скважины");
  // A new station computes by minimum curvature, the usual method of directional surveys; a
  // saved state brings back the method it was saved with.
  o.add_item("method", "Метод расчёта", method_,
             {"Среднего угла", "Сбалансированный тангенциальный / радиуса кривизны",
              "Минимальной кривизны"},
             static_cast<int>(WbCalcMethod::kMinimumCurvature));
  for (std::size_t k = 0; k < targets_.circles.size(); ++k) {
    TargetCircle& c = targets_.circles[k];
    const std::string suffix = k == 0 ? "" : std::to_string(k + 1);
    const std::string n = " (круг " + std::to_string(k + 1) + ")";
    o.add("depth" + suffix, "Вертикальная глубина" + n, c.depth, 0.0, 2)
        .set_unit("м")
        .set_range(0, 20000);
    o.add("radius" + suffix, "Радиус" + n, c.radius, 0.0, 2).set_unit("м").set_range(0, 20000);
    o.add("azimut" + suffix, "Азимут" + n, c.azimut, 0.0, 2).set_unit("°").set_range(0, 360);
    o.add("smeshenie" + suffix, "Смещение" + n, c.distance, 0.0, 2)
        .set_unit("м")
        .set_range(0, 20000);
  }
  o.add("altitude", "Альтитуда", targets_.altitude, 0.0, 2).set_unit("м").set_range(-10000, 10000);
}

void ProjectedWellbore::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  serial_options(list, *this);
}

}  // namespace pore
