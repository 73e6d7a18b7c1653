// Settings as people see and change them outside a dialog: every option with its caption,
// value, unit and default as text, and setting one option from typed text with its type
// checked. The rigstation tool "config" is built on these.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/options.h"

namespace reg {

struct OptionRow {
  std::string section;
  std::string section_caption;
  std::string key;
  std::string caption;  // empty for an option the dialog hides
  std::string type;     // "int", "float", "bool", "string", "colour", "item"
  std::string value;
  std::string unit;
  std::string default_value;
};

// A value as the dialog shows it: yes/no options as "Да"/"Нет", floats with the option's
// digits, colours as "#RRGGBB", items as the chosen text.
std::string option_display_text(const lib::Option& option, const lib::OptionValue& value);

// One row per option, in the order the settings object describes them.
std::vector<OptionRow> describe_options(lib::ini_options& settings);

// Sets the option `key` of `section` (letter case aside) from `text`. Text that is not a
// value of the option's type, or lies outside its range or choices, or a section, key or
// text that is not valid UTF-8, is refused and nothing changes. Returns nullopt when stored, else
// the reason.
std::optional<std::string> set_option_text(lib::ini_options& settings, std::string_view section,
                                           std::string_view key, std::string_view text);

}  // namespace reg
