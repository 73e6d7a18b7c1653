// Typed settings options. A settings object describes its options once, in get_options(),
// binding each to one of its member variables; from that description this layer sets
// defaults, loads and saves the object in an INI file, and a settings dialog builds itself.
//
//   struct LinkSettings : lib::ini_options {
//     int port = 0;
//     double timeout = 0;
//     void get_options(lib::options_list& o) override {
//       o.sector("связь", "Связь с датчиками");
//       o.add("порт", "Порт", port, 5000).set_range(1, 65535);
//       o.add("таймаут", "Таймаут", timeout, 2.5, 1).set_unit("с").set_step(0.5);
//     }
//   };
//
// A sector is one INI section with a caption for the dialog; the options added after
// sector() belong to it. The text form of each type is described in docs/ini-files.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "lib/ini_file.h"

namespace lib {

// A screen colour, 0x00RRGGBB. The top byte is always zero.
struct Colour {
  std::uint32_t rgb = 0;

  constexpr Colour() = default;
  // Implicit, so that a 0xRRGGBB literal can stand where a colour is expected.
  constexpr Colour(std::uint32_t value) : rgb(value & 0xFFFFFFu) {}
  static constexpr Colour from_rgb(int r, int g, int b) {
    return Colour((static_cast<std::uint32_t>(r & 0xFF) << 16) |
                  (static_cast<std::uint32_t>(g & 0xFF) << 8) |
                  static_cast<std::uint32_t>(b & 0xFF));
  }
  constexpr int red() const { return static_cast<int>((rgb >> 16) & 0xFF); }
  constexpr int green() const { return static_cast<int>((rgb >> 8) & 0xFF); }
  constexpr int blue() const { return static_cast<int>(rgb & 0xFF); }
  bool operator==(const Colour&) const = default;
};

// "#RRGGBB" with upper-case hex digits.
std::string colour_to_str(Colour c);
// "#RRGGBB" (either letter case) or a decimal 0..16777215; nullopt for anything else.
std::optional<Colour> parse_colour(std::string_view text);

enum class OptionType {
  kInt,
  kFloat,
  kBool,
  kString,
  kColour,
  kItem,  // an index into a fixed list of texts, held in an int
};

// kInt and kItem hold int, kFloat double, kBool bool, kString std::string, kColour Colour.
using OptionValue = std::variant<int, double, bool, std::string, Colour>;

struct OptionSector {
  std::string section;  // INI section name
  std::string caption;  // shown in the dialog
};

// Something a load had to correct: the option (or, with an empty key, the whole file),
// the text found and what was done about it.
struct OptionIssue {
  std::string section;
  std::string key;
  std::string text;
  std::string reason;
};

// One option: its description and the variable it is bound to.
class Option {
 public:
  OptionType type() const { return type_; }
  const std::string& section() const { return section_; }
  std::size_t sector_index() const { return sector_; }
  const std::string& key() const { return key_; }
  const std::string& caption() const { return caption_; }
  const std::string& unit() const { return unit_; }
  // Decimals written to the file and shown for kFloat; -1 means as many as the value needs.
  int digits() const { return digits_; }
  // Spin step for the dialog; 0 when there is none.
  double step() const { return step_; }
  // Allowed range of kInt and kFloat values, when one is set.
  const std::optional<double>& min() const { return min_; }
  const std::optional<double>& max() const { return max_; }
  // The choices of a kItem option.
  const std::vector<std::string>& items() const { return items_; }
  const OptionValue& default_value() const { return default_; }

  // Builder calls for get_options().
  Option& set_unit(std::string unit);
  Option& set_digits(int digits);  // clamped to -1..15
  Option& set_step(double step);
  // kInt and kFloat only (std::logic_error otherwise, and when min > max).
  Option& set_range(double min, double max);

  // The bound variable's value.
  OptionValue value() const;
  // Stores a value into the bound variable. A value of another type is refused and a
  // value outside the range or the item list is corrected (clamped, or the default for an
  // item index); the returned text says what was done, nullopt when stored as given.
  std::optional<std::string> assign(const OptionValue& v);
  void reset() { assign(default_); }

  // The INI text of the bound variable's value.
  std::string to_text() const;
  // Reads INI text into the bound variable. Malformed text stores the default; a number
  // outside the range is clamped. Returns the reason when the text was not taken as is.
  std::optional<std::string> from_text(std::string_view text);

 private:
  friend class options_list;
  using Target = std::variant<int*, double*, bool*, std::string*, Colour*>;

  Option(OptionType type, std::string section, std::size_t sector, std::string key,
         std::string caption, Target target, OptionValue def);

  OptionType type_;
  std::string section_;
  std::size_t sector_;
  std::string key_;
  std::string caption_;
  std::string unit_;
  int digits_ = -1;
  double step_ = 0;
  std::optional<double> min_;
  std::optional<double> max_;
  std::vector<std::string> items_;
  OptionValue default_;
  Target target_;
};

// The options of one settings object, in the order they were added. Options are held
// in a deque, so a reference returned by add() stays valid while more are added.
class options_list {
 public:
  // Starts a sector; the options added next are stored in `section`.
  options_list& sector(std::string section, std::string caption);

  // Each binds `value` (which must outlive the list) and returns the option for the
  // builder calls. add() before any sector(), an empty key or a key repeated in one
  // section throw std::logic_error: they are mistakes in get_options().
  Option& add(std::string key, std::string caption, int& value, int def);
  Option& add(std::string key, std::string caption, double& value, double def, int digits = -1);
  Option& add(std::string key, std::string caption, bool& value, bool def);
  Option& add(std::string key, std::string caption, std::string& value, std::string def);
  Option& add(std::string key, std::string caption, Colour& value, Colour def);
  // `value` holds the index of the chosen text in `items`.
  Option& add_item(std::string key, std::string caption, int& value, std::vector<std::string> items,
                   int def);

  const std::vector<OptionSector>& sectors() const { return sectors_; }
  std::size_t size() const { return options_.size(); }
  bool empty() const { return options_.empty(); }
  const Option& operator[](std::size_t i) const { return options_.at(i); }
  Option& operator[](std::size_t i) { return options_.at(i); }
  auto begin() { return options_.begin(); }
  auto end() { return options_.end(); }
  auto begin() const { return options_.begin(); }
  auto end() const { return options_.end(); }
  // Section and key compare without regard to case; nullptr when there is no such option.
  Option* find(std::string_view section, std::string_view key);

 private:
  Option& push(OptionType type, std::string key, std::string caption, Option::Target target,
               OptionValue def);

  static std::size_t combined_hash(std::size_t section_hash, std::string_view key);
  Option* find_hashed(std::size_t hash, std::string_view section, std::string_view key);

  std::vector<OptionSector> sectors_;
  std::vector<std::size_t> sector_hashes_;  // of each sector's section, folded
  std::deque<Option> options_;
  // Position in options_ by the hash of the folded section and key: a settings object is
  // described on every load and save, and a scan per added option made that quadratic.
  std::unordered_multimap<std::size_t, std::size_t> index_;
};

// Base of a settings object stored in an INI file.
class ini_options {
 public:
  virtual ~ini_options() = default;

  // Adds the options, bound to this object's members. It is called for every load, save
  // and description, also from the const save(), so it must only register options.
  virtual void get_options(options_list& list) = 0;

  // The description bound to this object, for a settings dialog.
  options_list options();

  void set_defaults();
  // Every option from `ini`: a missing key takes its default, malformed text takes the
  // default and an out-of-range number is clamped, each with an issue returned.
  std::vector<OptionIssue> load(const IniFile& ini);
  // Writes every option; other keys and sections of `ini` stay as they are.
  void save(IniFile& ini) const;

  // What a settings object keeps beside its options, in sections of its own (lists of
  // thresholds, of servers...). load() calls load_additional_info after the options were
  // read, save() calls save_additional_info after they were written, so the file functions
  // below carry it too. Both do nothing unless overridden.
  virtual void load_additional_info(const IniFile& /*ini*/) {}
  virtual void save_additional_info(IniFile& /*ini*/) const {}

  // Loads the file; a missing file gives the defaults. A file that cannot be read also
  // leaves the defaults and is reported as an issue; lines the file had to drop are
  // reported too (with an empty key).
  std::vector<OptionIssue> load_from_file(const std::string& path, FileSystem& fs);
  // Reads the file as it is now, writes the options into it and saves it atomically, so
  // the other sections stay intact; the previous file is kept as its ".bak". Throws
  // IniError when the file cannot be read or was not fully read (IniFile::fully_read), or
  // when it or its backup cannot be saved; the file is then untouched.
  void save_to_file(const std::string& path, FileSystem& fs) const;
};

}  // namespace lib
