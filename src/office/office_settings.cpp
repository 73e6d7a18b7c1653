#include "office/office_settings.h"

#include <unistd.h>

namespace office {

void OfficeSettings::get_options(lib::options_list& o) {
  o.sector("офис", "Связь с офисом");
  o.add("имя_буровой", "Имя буровой в офисе (пусто: имя компьютера)", rig, "");
  o.add("адрес_базы", "Адрес базы данных офиса (PostgreSQL)", database, "");
  o.add("предел_скорости", "Предел скорости связи (0: без предела)", max_rate_kbit, 0)
      .set_unit("кбит/с")
      .set_range(0, 10000000);
}

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "rig";
  return name;
}

}  // namespace office
