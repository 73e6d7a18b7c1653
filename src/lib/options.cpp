#include "lib/options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <utility>

#include "lib/ident.h"
#include "lib/str_utils.h"

namespace lib {

namespace {

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string number_text(double v) {
  return float_to_str(v);
}

std::string range_text(double lo, double hi) {
  return number_text(lo) + ".." + number_text(hi);
}

}  // namespace

std::string colour_to_str(Colour c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(c.rgb & 0xFFFFFFu));
  return buf;
}

std::optional<Colour> parse_colour(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.front() == '#') {
    const std::string_view hex = text.substr(1);
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), is_hex_digit)) {
      return std::nullopt;
    }
    return Colour(static_cast<std::uint32_t>(std::stoul(std::string(hex), nullptr, 16)));
  }
  const auto v = parse_ini_int(text);
  if (!v || *v < 0 || *v > 0xFFFFFF) return std::nullopt;
  return Colour(static_cast<std::uint32_t>(*v));
}

// ---------------------------------------------------------------------------------------

Option::Option(OptionType type, std::string section, std::size_t sector, std::string key,
               std::string caption, Target target, OptionValue def)
    : type_(type),
      section_(std::move(section)),
      sector_(sector),
      key_(std::move(key)),
      caption_(std::move(caption)),
      default_(std::move(def)),
      target_(target) {}

Option& Option::set_unit(std::string unit) {
  unit_ = std::move(unit);
  return *this;
}

Option& Option::set_digits(int digits) {
  digits_ = std::clamp(digits, -1, 15);
  return *this;
}

Option& Option::set_step(double step) {
  step_ = std::isfinite(step) && step > 0 ? step : 0;
  return *this;
}

Option& Option::set_range(double min, double max) {
  if (type_ != OptionType::kInt && type_ != OptionType::kFloat) {
    throw std::logic_error("option \"" + key_ + "\": a range needs a number option");
  }
  if (!(min <= max)) {
    throw std::logic_error("option \"" + key_ + "\": range " + range_text(min, max) + " is empty");
  }
  min_ = min;
  max_ = max;
  return *this;
}

OptionValue Option::value() const {
  return std::visit([](auto* p) -> OptionValue { return *p; }, target_);
}

std::optional<std::string> Option::assign(const OptionValue& v) {
  switch (type_) {
    case OptionType::kInt: {
      const int* in = std::get_if<int>(&v);
      if (in == nullptr) return "not a whole number, not stored";
      const double lo = min_.value_or(std::numeric_limits<int>::min());
      const double hi = max_.value_or(std::numeric_limits<int>::max());
      if (*in < lo || *in > hi) {
        const int clamped = static_cast<int>(std::clamp<double>(*in, lo, hi));
        *std::get<int*>(target_) = clamped;
        return std::to_string(*in) + " is outside " + range_text(lo, hi) + ", clamped to " +
               std::to_string(clamped);
      }
      *std::get<int*>(target_) = *in;
      return std::nullopt;
    }
    case OptionType::kFloat: {
      double d = 0;
      if (const double* pd = std::get_if<double>(&v)) {
        d = *pd;
      } else if (const int* pi = std::get_if<int>(&v)) {
        d = *pi;
      } else {
        return "not a number, not stored";
      }
      double& target = *std::get<double*>(target_);
      if (!std::isfinite(d)) {
        target = std::get<double>(default_);
        return "not a finite number, default " + number_text(target) + " used";
      }
      if ((min_ && d < *min_) || (max_ && d > *max_)) {
        const double lo = min_.value_or(d);
        const double hi = max_.value_or(d);
        target = std::clamp(d, lo, hi);
        return number_text(d) + " is outside " + range_text(lo, hi) + ", clamped to " +
               number_text(target);
      }
      target = d;
      return std::nullopt;
    }
    case OptionType::kBool: {
      const bool* b = std::get_if<bool>(&v);
      if (b == nullptr) return "not a yes/no value, not stored";
      *std::get<bool*>(target_) = *b;
      return std::nullopt;
    }
    case OptionType::kString: {
      const std::string* s = std::get_if<std::string>(&v);
      if (s == nullptr) return "not a text, not stored";
      *std::get<std::string*>(target_) = *s;
      return std::nullopt;
    }
    case OptionType::kColour: {
      const Colour* c = std::get_if<Colour>(&v);
      if (c == nullptr) return "not a colour, not stored";
      *std::get<Colour*>(target_) = *c;
      return std::nullopt;
    }
    case OptionType::kItem: {
      const int* in = std::get_if<int>(&v);
      if (in == nullptr) return "not a list index, not stored";
      int& target = *std::get<int*>(target_);
      if (*in < 0 || static_cast<std::size_t>(*in) >= items_.size()) {
        target = std::get<int>(default_);
        return "item " + std::to_string(*in) + " is not among the " +
               std::to_string(items_.size()) + " choices, default " + std::to_string(target) +
               " used";
      }
      target = *in;
      return std::nullopt;
    }
  }
  return "unknown option type";
}

std::string Option::to_text() const {
  switch (type_) {
    case OptionType::kInt:
    case OptionType::kItem:
      return std::to_string(*std::get<int*>(target_));
    case OptionType::kFloat: {
      const double v = *std::get<double*>(target_);
      return digits_ < 0 ? float_to_str(v) : float_to_str(v, digits_);
    }
    case OptionType::kBool:
      return *std::get<bool*>(target_) ? "1" : "0";
    case OptionType::kString:
      return *std::get<std::string*>(target_);
    case OptionType::kColour:
      return colour_to_str(*std::get<Colour*>(target_));
  }
  return {};
}

std::optional<std::string> Option::from_text(std::string_view text) {
  // Malformed text is not used at all: the default is stored and the reason given.
  auto fallback = [&](const char* what) -> std::optional<std::string> {
    reset();
    return std::string(what) + ", default " + to_text() + " used";
  };
  switch (type_) {
    case OptionType::kInt:
    case OptionType::kItem: {
      const auto v = parse_ini_int(text);
      if (!v) return fallback("not a whole number");
      if (*v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) {
        if (type_ == OptionType::kItem) return fallback("list index out of range");
        const int clamped =
            *v < 0 ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
        const auto why = assign(clamped);
        return std::to_string(*v) + " does not fit, " +
               why.value_or("clamped to " + std::to_string(clamped));
      }
      return assign(static_cast<int>(*v));
    }
    case OptionType::kFloat: {
      const auto v = parse_ini_double(text);
      if (!v) return fallback("not a number");
      return assign(*v);
    }
    case OptionType::kBool: {
      const auto v = parse_ini_bool(text);
      if (!v) return fallback("not a yes/no value");
      return assign(*v);
    }
    case OptionType::kString:
      return assign(std::string(text));
    case OptionType::kColour: {
      const auto v = parse_colour(text);
      if (!v) return fallback("not a colour (#RRGGBB or 0..16777215)");
      return assign(*v);
    }
  }
  return "unknown option type";
}

// ---------------------------------------------------------------------------------------

options_list& options_list::sector(std::string section, std::string caption) {
  sector_hashes_.push_back(IdentHash{}(section));
  sectors_.push_back({std::move(section), std::move(caption)});
  return *this;
}

Option& options_list::push(OptionType type, std::string key, std::string caption,
                           Option::Target target, OptionValue def) {
  if (sectors_.empty()) {
    throw std::logic_error("option \"" + key + "\" added before any sector");
  }
  if (key.empty()) throw std::logic_error("option with an empty key");
  const std::string& section = sectors_.back().section;
  const std::size_t hash = combined_hash(sector_hashes_.back(), key);
  if (find_hashed(hash, section, key) != nullptr) {
    throw std::logic_error("option \"" + key + "\" repeated in section \"" + section + "\"");
  }
  index_.emplace(hash, options_.size());
  options_.push_back(Option(type, section, sectors_.size() - 1, std::move(key), std::move(caption),
                            target, std::move(def)));
  return options_.back();
}

Option& options_list::add(std::string key, std::string caption, int& value, int def) {
  return push(OptionType::kInt, std::move(key), std::move(caption), &value, def);
}

Option& options_list::add(std::string key, std::string caption, double& value, double def,
                          int digits) {
  return push(OptionType::kFloat, std::move(key), std::move(caption), &value, def)
      .set_digits(digits);
}

Option& options_list::add(std::string key, std::string caption, bool& value, bool def) {
  return push(OptionType::kBool, std::move(key), std::move(caption), &value, def);
}

Option& options_list::add(std::string key, std::string caption, std::string& value,
                          std::string def) {
  return push(OptionType::kString, std::move(key), std::move(caption), &value, std::move(def));
}

Option& options_list::add(std::string key, std::string caption, Colour& value, Colour def) {
  return push(OptionType::kColour, std::move(key), std::move(caption), &value, def);
}

Option& options_list::add_item(std::string key, std::string caption, int& value,
                               std::vector<std::string> items, int def) {
  if (def < 0 || static_cast<std::size_t>(def) >= items.size()) {
    throw std::logic_error("option \"" + key + "\": default item " + std::to_string(def) +
                           " is not among the choices");
  }
  Option& o = push(OptionType::kItem, std::move(key), std::move(caption), &value, def);
  o.items_ = std::move(items);
  return o;
}

Option* options_list::find(std::string_view section, std::string_view key) {
  return find_hashed(combined_hash(IdentHash{}(section), key), section, key);
}

Option* options_list::find_hashed(std::size_t hash, std::string_view section,
                                  std::string_view key) {
  const auto [first, last] = index_.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    Option& o = options_[it->second];
    if (ident_equal(o.key(), key) && ident_equal(o.section(), section)) return &o;
  }
  return nullptr;
}

std::size_t options_list::combined_hash(std::size_t section_hash, std::string_view key) {
  return section_hash * 31 + IdentHash{}(key);
}

// ---------------------------------------------------------------------------------------

options_list ini_options::options() {
  options_list list;
  get_options(list);
  return list;
}

void ini_options::set_defaults() {
  for (Option& o : options()) o.reset();
}

std::vector<OptionIssue> ini_options::load(const IniFile& ini) {
  std::vector<OptionIssue> issues;
  for (Option& o : options()) {
    const auto text = ini.find(o.section(), o.key());
    if (!text) {
      o.reset();
      continue;
    }
    if (auto why = o.from_text(*text)) {
      issues.push_back({o.section(), o.key(), *text, std::move(*why)});
    }
  }
  load_additional_info(ini);
  return issues;
}

void ini_options::save(IniFile& ini) const {
  // get_options() binds members for writing as well as reading; here they are only read.
  options_list list;
  const_cast<ini_options*>(this)->get_options(list);
  for (const Option& o : list) ini.set_string(o.section(), o.key(), o.to_text());
  save_additional_info(ini);
}

std::vector<OptionIssue> ini_options::load_from_file(const std::string& path, FileSystem& fs) {
  IniFile ini;
  try {
    ini.load_file(path, fs);
  } catch (const IniError& e) {
    set_defaults();
    return {{"", "", "", e.what()}};
  }
  std::vector<OptionIssue> issues;
  for (const std::string& p : ini.problems()) issues.push_back({"", "", "", path + ": " + p});
  auto own = load(ini);
  issues.insert(issues.end(), std::make_move_iterator(own.begin()),
                std::make_move_iterator(own.end()));
  return issues;
}

void ini_options::save_to_file(const std::string& path, FileSystem& fs) const {
  IniFile ini;
  ini.load_file(path, fs);
  save(ini);
  ini.save_file(path, fs);
}

}  // namespace lib
