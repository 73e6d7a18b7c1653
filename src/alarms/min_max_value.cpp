#include "alarms/min_max_value.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "alarms/threshold_line.h"
#include "lib/str_utils.h"

namespace alarms {

std::string float32_to_str(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  if (value == 0) return "0";  // also for -0, which would read back as a distinct text
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

float to_float32(double value) {
  // Converting a double beyond the float range is undefined; IEEE hardware would give an
  // infinity, so say so explicitly.
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

namespace {

bool read_flag(const std::string& item) {
  return lib::str_to_int(item, 0) != 0;
}

float read_float(const std::string& item) {
  return to_float32(lib::str_to_float(item));
}

}  // namespace

MinMaxValue::MinMaxValue() {
  operations_.set();
}

MinMaxValue::MinMaxValue(std::string name, float min, float max)
    : MinMaxValue(kKindSound, std::move(name), min, max) {}

MinMaxValue::MinMaxValue(int kind, std::string name, float min, float max)
    : kind_(kind), name_(std::move(name)) {
  has_min_ = min > 0;
  min_ = has_min_ ? min : 0;
  has_max_ = max > 0;
  max_ = has_max_ ? max : 0;
  operations_.set();
}

void MinMaxValue::set_min(bool in_force, float value) {
  has_min_ = in_force;
  min_ = value;
}

void MinMaxValue::set_max(bool in_force, float value) {
  has_max_ = in_force;
  max_ = value;
}

lib::StringContainer MinMaxValue::split_line(std::string_view line, std::size_t min_items) {
  lib::StringContainer items = decode_threshold_line(line).items;
  while (items.size() < min_items) items.add("");
  return items;
}

std::string MinMaxValue::join_line(const lib::StringContainer& items) {
  return encode_threshold_line(items);
}

lib::StringContainer MinMaxValue::common_items() const {
  lib::StringContainer items;
  items.add(std::to_string(kind_));
  items.add(name_);
  items.add(has_min_ ? "1" : "0");
  items.add(float32_to_str(min_));
  items.add(has_max_ ? "1" : "0");
  items.add(float32_to_str(max_));
  return items;
}

void MinMaxValue::read_common(const lib::StringContainer& items, std::size_t name_pos,
                              std::size_t limits_pos) {
  name_ = items[name_pos];
  has_min_ = read_flag(items[limits_pos]);
  min_ = read_float(items[limits_pos + 1]);
  has_max_ = read_flag(items[limits_pos + 2]);
  max_ = read_float(items[limits_pos + 3]);
}

std::string MinMaxValue::get_ini_line() const {
  return join_line(common_items());
}

void MinMaxValue::read_from_ini_line(int version, std::string_view line) {
  if (version == 0) {
    read_common(split_line(line, line_v0::kItems), line_v0::kName, line_v0::kHasMin);
  } else {
    read_common(split_line(line, line_v1::kCommonItems), line_v1::kName, line_v1::kHasMin);
  }
}

bool MinMaxValue::check(float value, float /*depth*/, int operation) const {
  const bool alarm = (has_min_ && value < min_) || (has_max_ && value > max_);
  if (operation < 0) return alarm;
  // test() rather than [] so that a code beyond the set is an error, not a silent read.
  const bool watched = operations_.test(static_cast<std::size_t>(operation));
  return alarm && watched;
}

std::string MinMaxValue::get_data_string() const {
  return {};
}

std::string MinMaxValue::min_cell_text() const {
  return has_min_ ? float32_to_str(min_) : std::string();
}

std::string MinMaxValue::max_cell_text() const {
  return has_max_ ? float32_to_str(max_) : std::string();
}

void MinMaxValue::read_from_grid_line(const lib::TextGrid& grid, std::size_t row) {
  name_ = std::string(lib::trim(grid.cell(row, kGridColName)));
  double v = 0;
  has_min_ = lib::try_str_to_float(grid.cell(row, kGridColMin), v);
  min_ = has_min_ ? to_float32(v) : 0;
  has_max_ = lib::try_str_to_float(grid.cell(row, kGridColMax), v);
  max_ = has_max_ ? to_float32(v) : 0;
}

std::unique_ptr<MinMaxValue> MinMaxValue::clone() const {
  return std::make_unique<MinMaxValue>(*this);
}

}  // namespace alarms
