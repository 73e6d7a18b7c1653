// The configured list of alarm thresholds: owned thresholds of every kind, in the order
// the alarm pass checks them. The list is kept in an INI section (threshold_line_format.h,
// docs/alarm-thresholds.md), in the station's state as a persistent module, and is shown in
// a grid editor whose data side lives here.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "alarms/min_max_kinds.h"
#include "alarms/min_max_value.h"
#include "lib/ini_file.h"
#include "lib/module_base.h"
#include "lib/string_container.h"
#include "lib/text_grid.h"

namespace alarms {

class MinMaxValues : public lib::SerialModuleBase {
 public:
  static constexpr unsigned kStateVersion = 1;
  using Items = std::vector<std::unique_ptr<MinMaxValue>>;

  // An empty list kept in `section`, saved in the state under the same name.
  explicit MinMaxValues(std::string section = kThresholdSection);
  // Copies are rebuilt from the INI lines of the other list, so each threshold keeps its
  // kind and fields while its operation set returns to the kind's default.
  MinMaxValues(const MinMaxValues& other);
  MinMaxValues& operator=(const MinMaxValues& other);
  MinMaxValues(MinMaxValues&&) = default;
  MinMaxValues& operator=(MinMaxValues&&) = default;
  ~MinMaxValues() override = default;

  // The station's usual thresholds: upper limits on pressure, tank level, density, rotary
  // torque, bit load, tripping speed and total gas.
  virtual void set_defaults();

  // Reads the section. Without the section ("size" missing or not a number) the list stays
  // as it is; otherwise it is replaced by the lines the section holds. Returns what had to
  // be skipped or guessed, one text per line concerned.
  std::vector<std::string> load(const lib::IniFile& ini);
  // Replaces the section with the list in the current layout.
  void save(lib::IniFile& ini) const;

  const std::string& section() const { return section_; }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const Items& items() const { return items_; }
  // Bounds-checked: std::out_of_range for a bad position.
  const MinMaxValue& operator[](std::size_t i) const { return *items_.at(i); }
  MinMaxValue& operator[](std::size_t i) { return *items_.at(i); }

  bool contains(std::string_view name) const { return find(name) != nullptr; }
  // The first threshold of that parameter (exact name), or null.
  const MinMaxValue* find(std::string_view name) const;
  MinMaxValue* find(std::string_view name);

  // A plain threshold for the parameter, with no limits.
  void add(std::string name);
  // Appends the threshold; the list owns it. A null pointer is ignored.
  void add(std::unique_ptr<MinMaxValue> item);
  // False when there is no threshold at that position.
  bool erase(std::size_t pos);
  void clear() { items_.clear(); }

  // "<kind>(<name>)", e.g. "1(Реле)"; kinds without a display name give "<kind>()".
  static std::string get_type_string(int kind);
  // A threshold of that kind with no fields set; unknown kinds (and the text kind) give a
  // plain threshold.
  static std::unique_ptr<MinMaxValue> create(int kind);

  // ---- the grid editor ------------------------------------------------------------------
  // Column titles of the editor.
  static std::vector<std::string> grid_titles();
  // Titles, then one row per threshold.
  void fill_to_grid(lib::TextGrid& grid) const;
  // Rewrites the row of threshold `index` (grid row index + 1); false for a bad index.
  bool update_grid_item(lib::TextGrid& grid, std::size_t index) const;
  // Replaces the list with the grid's rows. The kind comes from the number the kind cell
  // starts with (a plain threshold when there is none); rows without a parameter name are
  // left out.
  void read_from_grid(const lib::TextGrid& grid);
  // The choices of a column: the kind names for the kind column, none for the others.
  static lib::StringContainer grid_popup_strings(std::size_t col);

  // A threshold from a current-layout line; null when the line names no kind.
  static std::unique_ptr<MinMaxValue> from_current_line(int version, const std::string& line,
                                                        std::string* note);

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  std::string section_;
  Items items_;
};

}  // namespace alarms
