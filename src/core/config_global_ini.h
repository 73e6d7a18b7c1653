// Global program state kept between runs: the current well, the last screen, the main
// window's place and panels. The host reads and writes it from its own thread and from
// option dialogs, so the fields are guarded by the object's own lock.
#pragma once

#include <mutex>
#include <string>

#include "lib/options.h"

namespace reg {

class GlobalIni : public lib::ini_options {
 public:
  // The stored password when none has been set.
  static constexpr const char* kNoPassword = "::пароль_не_задан::";

  // "текущие_настройки"
  std::string last_screen_name;
  std::string well;  // скважина
  std::string password = kNoPassword;
  bool first_start = true;
  bool show_instr_depth = true;
  std::string language = "ru";
  // "MainWindow"
  bool show_digit_values = true;
  double pult_adc_voltage = 5.0;  // reference voltage of the console ADC, V
  int win_left = -1;              // -1: not placed yet
  int win_top = -1;
  int win_height = -1;
  int win_width = -1;
  int top_panel_type = 0;
  bool show_relay_panel = false;
  bool show_videosur_panel = false;

  GlobalIni() { set_defaults(); }

  void get_options(lib::options_list& list) override;
  void get_elements_list(lib::options_list& list) { get_options(list); }

  // Hold it while reading or changing several fields that belong together.
  std::recursive_mutex& mutex() const { return mutex_; }

  // A run-time text handed to option dialogs; never saved.
  std::string get_host_text() const;
  void set_host_text(std::string text);

  bool has_password() const;

 private:
  mutable std::recursive_mutex mutex_;
  std::string host_text_;
};

}  // namespace reg
