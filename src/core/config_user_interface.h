// Colours and fonts of the graphs and panels, section "colors".
#pragma once

#include <string>

#include "lib/options.h"

namespace reg {

class UserInterfaceOpt : public lib::ini_options {
 public:
  static constexpr lib::Colour kGrey = lib::Colour::from_rgb(128, 128, 128);
  static constexpr lib::Colour kWhite = lib::Colour::from_rgb(255, 255, 255);
  static constexpr lib::Colour kBlack = lib::Colour::from_rgb(0, 0, 0);

  int gr_font_size = 8;
  std::string gr_font_name = "Tahoma";
  lib::Colour frames_color = kGrey;
  lib::Colour phone_color = kWhite;  // background
  lib::Colour line_color = kGrey;
  lib::Colour text_color = kBlack;
  lib::Colour hat_color = kWhite;   // graph headers
  lib::Colour indi_color = kWhite;  // the top indicator panel
  bool use_pens = true;
  int panel_size = 100;
  int depth_clmn_view = 0;

  UserInterfaceOpt() { set_defaults(); }

  void get_options(lib::options_list& list) override;
  void get_elements_list(lib::options_list& list) { get_options(list); }

  // The graphs' look back to the defaults; the top panel's colour stays.
  void default_gr();
  // The top panel's colour back to its default.
  void default_toppan();
};

}  // namespace reg
