// One alarm threshold: a parameter must stay within [min, max] while the effective
// operation is one of a set. This is the plain kind, which sounds an alarm; the kinds that
// also switch a relay, send to phones or apply within a depth interval derive from it
// (min_max_kinds.h).
//
// A limit is either in force or not. Constructing with a limit of zero or below leaves it
// out; a limit read from a file or a grid keeps its flag as stored, so a negative limit
// (a temperature, say) survives a reload.
#pragma once

#include <bitset>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "alarms/threshold_line_format.h"
#include "lib/string_container.h"
#include "lib/text_grid.h"

namespace alarms {

// Bit k set: the threshold is watched while the effective operation is k.
using OperationSet = std::bitset<32>;
// Operation code of drilling, the only one a depth-interval threshold watches by default.
inline constexpr int kDrillingOperation = 2;

// Columns of a threshold's row in the list editor (row 0 holds the titles).
inline constexpr std::size_t kGridColName = 0;
inline constexpr std::size_t kGridColMin = 1;
inline constexpr std::size_t kGridColMax = 2;
inline constexpr std::size_t kGridColKind = 3;
inline constexpr std::size_t kGridColData = 4;

class MinMaxValue {
 public:
  // No parameter, no limits, every operation.
  MinMaxValue();
  // A limit of zero or below is not in force (and is stored as 0).
  MinMaxValue(std::string name, float min, float max);
  virtual ~MinMaxValue() = default;

  // The INI line: the comma text of the fields, quoted once more (threshold_line_format.h).
  virtual std::string get_ini_line() const;
  // Reads the fields of a line of layout `version` (0 legacy, anything else current). Missing
  // items read as empty, unreadable numbers as their defaults; the operation set is kept.
  virtual void read_from_ini_line(int version, std::string_view line);
  // True when `value` breaks a limit in force (equality does not, NaN never does) and, for
  // an `operation` of 0 or more, that operation is watched. The plain kind ignores `depth`.
  // An operation of 32 or more throws std::out_of_range.
  virtual bool check(float value, float depth, int operation) const;
  // The kind-specific data shown in the editor's last column; empty for the plain kind.
  virtual std::string get_data_string() const;
  // Reads name, limits and data from a row of the list editor; an empty or unreadable limit
  // cell means no limit. The operation set is kept.
  virtual void read_from_grid_line(const lib::TextGrid& grid, std::size_t row);
  // An exact copy of the same kind, operation set included.
  virtual std::unique_ptr<MinMaxValue> clone() const;

  int get_kind() const { return kind_; }
  const std::string& get_param() const { return name_; }
  void set_param(std::string name) { name_ = std::move(name); }
  // Exact, case-sensitive comparison with the parameter name.
  bool have_param(std::string_view name) const { return name_ == name; }

  bool has_min() const { return has_min_; }
  bool has_max() const { return has_max_; }
  float get_min() const { return min_; }
  float get_max() const { return max_; }
  void set_min(bool in_force, float value);
  void set_max(bool in_force, float value);

  const OperationSet& operations() const { return operations_; }
  void set_operations(const OperationSet& operations) { operations_ = operations; }

  // The limit cells of an editor row: the limit's text, empty when it is not in force.
  std::string min_cell_text() const;
  std::string max_cell_text() const;

 protected:
  MinMaxValue(int kind, std::string name, float min, float max);

  // The items of a line with its outer quotes removed, padded with empty items to
  // `min_items`.
  static lib::StringContainer split_line(std::string_view line, std::size_t min_items);
  // Comma text of the items in one more pair of quotes (threshold_line.h).
  static std::string join_line(const lib::StringContainer& items);
  // The six items every current line starts with.
  lib::StringContainer common_items() const;
  // Name at `name_pos`; has_min, min, has_max, max from `limits_pos` on.
  void read_common(const lib::StringContainer& items, std::size_t name_pos, std::size_t limits_pos);

 private:
  int kind_ = kKindSound;
  std::string name_;
  float min_ = 0;
  float max_ = 0;
  bool has_min_ = false;
  bool has_max_ = false;
  OperationSet operations_;
};

// Shortest text that reads back to the same 32-bit float; "nan", "inf" and "-inf" for the
// special values, so that lib::str_to_float reads every written limit back.
std::string float32_to_str(float value);
// A double narrowed to float: too large a value becomes an infinity of its sign.
float to_float32(double value);

}  // namespace alarms
