#include "core/config_editing.h"

#include <limits>
#include <utility>

#include "lib/ident.h"
#include "lib/ini_file.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"

namespace reg {

namespace {

const char* type_name(lib::OptionType t) {
  switch (t) {
    case lib::OptionType::kInt:
      return "int";
    case lib::OptionType::kFloat:
      return "float";
    case lib::OptionType::kBool:
      return "bool";
    case lib::OptionType::kString:
      return "string";
    case lib::OptionType::kColour:
      return "colour";
    case lib::OptionType::kItem:
      return "item";
  }
  return "?";
}

std::string range_text(const lib::Option& o) {
  return lib::float_to_str(*o.min()) + ".." + lib::float_to_str(*o.max());
}

bool outside_range(const lib::Option& o, double v) {
  return (o.min() && v < *o.min()) || (o.max() && v > *o.max());
}

// Where and what the first ill-formed byte is, or nullopt for valid UTF-8.
std::optional<std::string> invalid_utf8_reason(std::string_view text) {
  const lib::TextEncodingGuess g = lib::guess_text_encoding(text);
  if (g.bad_sequences == 0) return std::nullopt;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto b = static_cast<unsigned char>(text[g.bad_offset]);
  return std::string("byte 0x") + kDigits[b >> 4] + kDigits[b & 0xF] + " at position " +
         std::to_string(g.bad_offset + 1);
}

}  // namespace

std::string option_display_text(const lib::Option& o, const lib::OptionValue& value) {
  if (const bool* b = std::get_if<bool>(&value)) return *b ? "Да" : "Нет";
  if (const double* d = std::get_if<double>(&value)) {
    return o.digits() < 0 ? lib::float_to_str(*d) : lib::float_to_str(*d, o.digits());
  }
  if (const int* i = std::get_if<int>(&value)) {
    if (o.type() == lib::OptionType::kItem && *i >= 0 &&
        static_cast<std::size_t>(*i) < o.items().size()) {
      return o.items()[*i];
    }
    return std::to_string(*i);
  }
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  if (const lib::Colour* c = std::get_if<lib::Colour>(&value)) return lib::colour_to_str(*c);
  return {};
}

std::vector<OptionRow> describe_options(lib::ini_options& settings) {
  const lib::options_list list = settings.options();
  std::vector<OptionRow> rows;
  rows.reserve(list.size());
  for (const lib::Option& o : list) {
    OptionRow row;
    row.section = o.section();
    row.section_caption = list.sectors().at(o.sector_index()).caption;
    row.key = o.key();
    row.caption = o.caption();
    row.type = type_name(o.type());
    row.value = option_display_text(o, o.value());
    row.unit = o.unit();
    row.default_value = option_display_text(o, o.default_value());
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<std::string> set_option_text(lib::ini_options& settings, std::string_view section,
                                           std::string_view key, std::string_view text) {
  // Settings files are UTF-8: bytes that are not would be saved as they came and make the
  // whole file undecodable at the next start.
  for (const auto& [what, part] : {std::pair<const char*, std::string_view>{"section", section},
                                   {"key", key},
                                   {"value", text}}) {
    if (auto why = invalid_utf8_reason(part)) {
      return std::string("the ") + what + " is not valid UTF-8 text (" + *why +
             "); check the terminal's encoding";
    }
  }
  lib::options_list list = settings.options();
  lib::Option* o = list.find(section, key);
  if (o == nullptr) {
    bool section_known = false;
    for (const auto& s : list.sectors()) {
      section_known = section_known || lib::ident_equal(s.section, section);
    }
    return section_known ? "no option \"" + std::string(key) + "\" in section \"" +
                               std::string(section) + "\""
                         : "no section \"" + std::string(section) + "\"";
  }
  const std::string what = "\"" + std::string(text) + "\"";
  lib::OptionValue value;
  switch (o->type()) {
    case lib::OptionType::kInt:
    case lib::OptionType::kItem: {
      const auto v = lib::parse_ini_int(text);
      if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) {
        return what + " is not a whole number";
      }
      if (o->type() == lib::OptionType::kItem &&
          (*v < 0 || static_cast<std::size_t>(*v) >= o->items().size())) {
        return what + " is not among the " + std::to_string(o->items().size()) + " choices";
      }
      if (outside_range(*o, static_cast<double>(*v))) return what + " is outside " + range_text(*o);
      value = static_cast<int>(*v);
      break;
    }
    case lib::OptionType::kFloat: {
      const auto v = lib::parse_ini_double(text);
      if (!v) return what + " is not a number";
      if (outside_range(*o, *v)) return what + " is outside " + range_text(*o);
      value = *v;
      break;
    }
    case lib::OptionType::kBool: {
      const auto v = lib::parse_ini_bool(text);
      if (!v) return what + " is not a yes/no value (1/0, да/нет, yes/no, true/false, on/off)";
      value = *v;
      break;
    }
    case lib::OptionType::kColour: {
      const auto v = lib::parse_colour(text);
      if (!v) return what + " is not a colour (#RRGGBB or 0..16777215)";
      value = *v;
      break;
    }
    case lib::OptionType::kString:
      if (text.find_first_of("\r\n") != std::string_view::npos) {
        return "a text option holds one line";
      }
      value = std::string(lib::trim(text));
      break;
  }
  if (auto why = o->assign(value)) return *why;
  return std::nullopt;
}

}  // namespace reg
