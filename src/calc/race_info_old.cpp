#include "calc/race_info_old.h"

#include "lib/ini_file.h"

namespace calc {

std::string get_drill_type_str(DrillType type) {
  switch (type) {
    case DrillType::kRotary:
      return "Роторное";
    case DrillType::kTurbine:
      return "Турбинное";
    case DrillType::kRotaryTurbine:
      return "Роторно-турбинное";
    case DrillType::kElectric:
      return "Электробурение";
    case DrillType::kEmergencyWork:
      return "Аварийные работы";
    case DrillType::kOther:
      return "Другое";
    case DrillType::kScrewMotor:
      return "Винтовое";
  }
  return "::ОШИБКА::";
}

RaceInfoOld::RaceInfoOld() : SerialModuleBase(kSerialName, kStateVersion) {
  set_defaults();
}

void RaceInfoOld::get_options(lib::options_list& o) {
  o.sector("архивные_данные", "Архивные данные");
  o.add("месторождение", "Месторождение", archive.deposit, "");
  o.add("скважина", "Скважина", archive.well, "");
  o.add("категория_скважины", "Категория скважины", archive.well_category, "");
  o.add("площадь", "Площадь", archive.area, "");
  o.add("заказчик", "Заказчик", archive.customer, "");

  Settings& s = settings;
  o.sector("настройки_рейса", "Настройки рейса");
  o.add("номер_рейса", "Номер рейса", s.race_number, 1);
  o.add("номер_долота", "Номер долота", s.bit_number, "");
  o.add("диаметр_долота", "Диаметр долота", s.bit_diameter, 0, 1).set_unit("мм");
  o.add("тип_долота", "Тип долота", s.bit_type, "");
  o.add("способ_бурения2", "Способ бурения (из справочника)", s.drill_method_text, "");
  o.add("способ_бурения", "Способ бурения", s.drill_method, static_cast<int>(DrillType::kRotary));
  o.add("оператор", "Оператор", s.operator_name, "");
  o.add("типоразмер_з_д", "Типоразмер забойного двигателя", s.motor_size, "");
  o.add("шаг_записи_по_глубине", "Шаг записи по глубине", s.depth_step, 0.2, 2).set_unit("м");
  o.add("шаг_записи_по_времени", "Шаг записи по времени", s.time_step, 10).set_unit("сек.");
  o.add("начальный_износ_долота", "Начальный износ долота", s.initial_bit_wear, "");
  o.add("коэффициент_кавернозности", "Коэффициент кавернозности", s.cavern_coeff, 1, 2);
  o.add("цель", "Цель", s.purpose, "");
  o.add("коментарий", "Комментарий", s.comment, "");
  o.add("супервайзер", "Супервайзер", s.supervisor, "");
  o.add("мастер", "Мастер", s.master, "");
  o.add("насадки_на_долото", "Насадки на долото", s.bit_nozzles, "");
  o.add("азимут_зд", "Азимут забойного двигателя", s.motor_azimuth, 0, 1).set_unit("°");
  o.add("сервис_долотный", "Долотный сервис", s.bit_service, "");
  o.add("сервис_растворов", "Сервис буровых растворов", s.mud_service, "");
  o.add("сервис_телеметрии", "Сервис телеметрии", s.telemetry_service, "");
  o.add("сервис_тампонажа", "Сервис тампонажа", s.cementing_service, "");
  o.add("список_работ", "Список работ", s.work_list, "");

  o.sector("начало_рейса", "Начало рейса");
  o.add("глубина", "Глубина", start.depth, 0, 2).set_unit("м");
  o.add("время", "Время", start.time, "");

  End& e = end;
  o.sector("окончание_рейса", "Окончание рейса");
  o.add("глубина", "Глубина", e.depth, 0, 2).set_unit("м");
  o.add("время", "Время", e.time, "");
  o.add("время_бурения", "Время бурения", e.drill_time, 0, 2).set_unit("ч");
  o.add("время_циркуляции", "Время циркуляции", e.circulation_time, 0, 2).set_unit("ч");
  o.add("время_спо", "Время СПО", e.tripping_time, 0, 2).set_unit("ч");
  o.add("время_промывки", "Время промывки", e.flushing_time, 0, 2).set_unit("ч");
  o.add("время_проработки", "Время проработки", e.reaming_time, 0, 2).set_unit("ч");
  o.add("средняя_нагрузка", "Средняя нагрузка", e.average_load, 0, 1).set_unit("т");
  o.add("среднее_давление", "Среднее давление", e.average_pressure, 0, 1).set_unit("атм.");
  o.add("средний_расход", "Средний расход", e.average_flow, 0, 1).set_unit("л/с");
  o.add("скорость_бурения", "Скорость бурения", e.drilling_speed, 0, 2).set_unit("м/ч");
  o.add("сред_оброт", "Средние обороты ротора", e.average_rotation, 0, 1).set_unit("об/мин");
  o.add("сред_момент", "Средний момент ротора", e.average_torque, 0, 1);
  o.add("сред_объем", "Средний объём", e.average_volume, 0, 2).set_unit("м³");
  o.add("износ_долота", "Износ долота", e.bit_wear, "");
  o.add("iadc_dbg_inner", "IADC: внутренние ряды", e.iadc_inner, "");
  o.add("iadc_dbg_outer", "IADC: наружные ряды", e.iadc_outer, "");
  o.add("iadc_dbg_dull", "IADC: характер износа", e.iadc_dull, "");
  o.add("iadc_dbg_location", "IADC: место износа", e.iadc_location, "");
  o.add("iadc_dbg_bs", "IADC: опоры", e.iadc_bs, "");
  o.add("iadc_dbg_gage", "IADC: калибр", e.iadc_gage, "");
  o.add("iadc_dbg_other_dull", "IADC: прочий износ", e.iadc_other_dull, "");
  o.add("iadc_dbg_reason", "IADC: причина подъёма", e.iadc_reason, "");

  o.sector("раствор", "Раствор");
  o.add("тип_раствора", "Тип раствора", mud.mud_type, "");
}

std::string RaceInfoOld::get_race_file(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.find('.', name_start);
  if (dot == std::string::npos) return {};
  return path.substr(0, dot + 1) + "rac";
}

void RaceInfoOld::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  std::string text;
  if (!list.reading()) {
    lib::IniFile ini;
    save(ini);
    text = ini.to_text();
    list.add(text);
    return;
  }
  list.add(text);
  lib::IniFile ini;
  ini.load_text(text);
  load(ini);
}

}  // namespace calc
