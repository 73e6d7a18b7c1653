#include "core/config_global_ini.h"

namespace reg {

void GlobalIni::get_options(lib::options_list& o) {
  o.sector("текущие_настройки", "Текущие настройки");
  o.add("last_screen_name", "", last_screen_name, "");
  o.add("скважина", "Скважина", well, "");
  o.add("пароль", "", password, kNoPassword);
  o.add("first_start", "", first_start, true);
  o.add("show_instr_depth", "Показывать глубину инструмента", show_instr_depth, true);
  o.add("language", "Язык", language, "ru");

  o.sector("MainWindow", "Главное окно");
  o.add("show_digit_values", "Показывать цифровые значения", show_digit_values, true);
  o.add("pult_adc_voltage", "Опорное напряжение АЦП пульта", pult_adc_voltage, 5.0, 2)
      .set_unit("В");
  o.add("win_left", "", win_left, -1);
  o.add("win_top", "", win_top, -1);
  o.add("win_height", "", win_height, -1);
  o.add("win_width", "", win_width, -1);
  o.add("top_panel_type", "Тип верхней панели", top_panel_type, 0);
  o.add("show_relay_panel", "Показывать панель реле", show_relay_panel, false);
  o.add("show_videosur_panel", "Показывать панель видеонаблюдения", show_videosur_panel, false);
}

std::string GlobalIni::get_host_text() const {
  std::lock_guard lock(mutex_);
  return host_text_;
}

void GlobalIni::set_host_text(std::string text) {
  std::lock_guard lock(mutex_);
  host_text_ = std::move(text);
}

bool GlobalIni::has_password() const {
  std::lock_guard lock(mutex_);
  return password != kNoPassword;
}

}  // namespace reg
