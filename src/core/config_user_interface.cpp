#include "core/config_user_interface.h"

namespace reg {

namespace {
constexpr const char* kIndiColorKey = "indi_color";
}

void UserInterfaceOpt::get_options(lib::options_list& o) {
  o.sector("colors", "Цвета и шрифты");
  o.add("gr_font_size", "Размер шрифта графиков", gr_font_size, 8);
  o.add("gr_font_name", "Шрифт графиков", gr_font_name, "Tahoma");
  o.add("frames_color", "Цвет рамок", frames_color, kGrey);
  o.add("phone_color", "Цвет фона", phone_color, kWhite);
  o.add("line_color", "Цвет линий", line_color, kGrey);
  o.add("text_color", "Цвет текста", text_color, kBlack);
  o.add("hat_color", "Цвет заголовков", hat_color, kWhite);
  o.add(kIndiColorKey, "Цвет верхней панели", indi_color, kWhite);
  o.add("use_pens", "Использовать перья", use_pens, true);
  o.add("panel_size", "Размер панели", panel_size, 100);
  o.add("depth_clmn_view", "Вид колонки глубин", depth_clmn_view, 0);
}

void UserInterfaceOpt::default_gr() {
  for (lib::Option& o : options()) {
    if (o.key() != kIndiColorKey) o.reset();
  }
}

void UserInterfaceOpt::default_toppan() {
  for (lib::Option& o : options()) {
    if (o.key() == kIndiColorKey) o.reset();
  }
}

}  // namespace reg
