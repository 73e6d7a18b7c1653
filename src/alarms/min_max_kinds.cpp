#include "alarms/min_max_kinds.h"

#include "lib/str_utils.h"

namespace alarms {

// ---- relay ------------------------------------------------------------------------------

MinMaxRelayValue::MinMaxRelayValue() : MinMaxValue(kKindRelay, {}, 0, 0) {}

MinMaxRelayValue::MinMaxRelayValue(std::string name, float min, float max, int relay_channel)
    : MinMaxValue(kKindRelay, std::move(name), min, max), relay_channel_(relay_channel) {}

std::string MinMaxRelayValue::get_ini_line() const {
  lib::StringContainer items = common_items();
  items.add(std::to_string(relay_channel_));
  return join_line(items);
}

void MinMaxRelayValue::read_from_ini_line(int version, std::string_view line) {
  if (version == 0) {
    const lib::StringContainer items = split_line(line, line_v0::kItems);
    read_common(items, line_v0::kName, line_v0::kRelayHasMin);
    relay_channel_ =
        static_cast<int>(lib::str_to_int(items[line_v0::kRelayChannel], kNoRelayChannel));
  } else {
    const lib::StringContainer items = split_line(line, line_v1::kRelayChannel + 1);
    read_common(items, line_v1::kName, line_v1::kHasMin);
    relay_channel_ =
        static_cast<int>(lib::str_to_int(items[line_v1::kRelayChannel], kNoRelayChannel));
  }
}

std::string MinMaxRelayValue::get_data_string() const {
  return std::to_string(relay_channel_);
}

void MinMaxRelayValue::read_from_grid_line(const lib::TextGrid& grid, std::size_t row) {
  MinMaxValue::read_from_grid_line(grid, row);
  relay_channel_ = static_cast<int>(lib::str_to_int(grid.cell(row, kGridColData), kNoRelayChannel));
}

std::unique_ptr<MinMaxValue> MinMaxRelayValue::clone() const {
  return std::make_unique<MinMaxRelayValue>(*this);
}

// ---- SMS --------------------------------------------------------------------------------

MinMaxSMSValue::MinMaxSMSValue() : MinMaxValue(kKindSms, {}, 0, 0) {}

MinMaxSMSValue::MinMaxSMSValue(std::string name, float min, float max, std::string phones)
    : MinMaxValue(kKindSms, std::move(name), min, max), phones_(std::move(phones)) {}

std::string MinMaxSMSValue::get_ini_line() const {
  lib::StringContainer items = common_items();
  items.add(phones_);
  return join_line(items);
}

void MinMaxSMSValue::read_from_ini_line(int version, std::string_view line) {
  if (version == 0) return;
  const lib::StringContainer items = split_line(line, line_v1::kPhones + 1);
  read_common(items, line_v1::kName, line_v1::kHasMin);
  phones_ = items[line_v1::kPhones];
}

std::string MinMaxSMSValue::get_data_string() const {
  return phones_;
}

void MinMaxSMSValue::read_from_grid_line(const lib::TextGrid& grid, std::size_t row) {
  MinMaxValue::read_from_grid_line(grid, row);
  phones_ = grid.cell(row, kGridColData);
}

std::unique_ptr<MinMaxValue> MinMaxSMSValue::clone() const {
  return std::make_unique<MinMaxSMSValue>(*this);
}

// ---- depth interval ---------------------------------------------------------------------

namespace {
OperationSet drilling_only() {
  OperationSet ops;
  ops.set(kDrillingOperation);
  return ops;
}
constexpr const char* kIntervalSeparator = " - ";
}  // namespace

MinMaxRTKValue::MinMaxRTKValue() : MinMaxValue(kKindDepthInterval, {}, 0, 0) {
  set_operations(drilling_only());
}

MinMaxRTKValue::MinMaxRTKValue(std::string name, float min, float max, float depth_from,
                               float depth_to)
    : MinMaxValue(kKindDepthInterval, std::move(name), min, max),
      depth_from_(depth_from),
      depth_to_(depth_to) {
  set_operations(drilling_only());
}

std::string MinMaxRTKValue::get_ini_line() const {
  lib::StringContainer items = common_items();
  items.add(float32_to_str(depth_from_));
  items.add(float32_to_str(depth_to_));
  return join_line(items);
}

void MinMaxRTKValue::read_from_ini_line(int version, std::string_view line) {
  if (version == 0) return;
  const lib::StringContainer items = split_line(line, line_v1::kDepthTo + 1);
  read_common(items, line_v1::kName, line_v1::kHasMin);
  depth_from_ = to_float32(lib::str_to_float(items[line_v1::kDepthFrom]));
  depth_to_ = to_float32(lib::str_to_float(items[line_v1::kDepthTo]));
}

bool MinMaxRTKValue::check(float value, float depth, int operation) const {
  if (!(depth >= depth_from_ && depth <= depth_to_)) return false;
  return MinMaxValue::check(value, depth, operation);
}

std::string MinMaxRTKValue::get_data_string() const {
  return lib::float_to_str(depth_from_, 2) + kIntervalSeparator + lib::float_to_str(depth_to_, 2);
}

void MinMaxRTKValue::read_from_grid_line(const lib::TextGrid& grid, std::size_t row) {
  MinMaxValue::read_from_grid_line(grid, row);
  const std::string& data = grid.cell(row, kGridColData);
  // Search from the second character so that a minus sign of the first depth is not taken
  // for the separator.
  const std::size_t sep = data.size() > 1 ? data.find(kIntervalSeparator, 1) : std::string::npos;
  if (sep == std::string::npos) {
    depth_from_ = to_float32(lib::str_to_float(data));
    depth_to_ = 0;
    return;
  }
  depth_from_ = to_float32(lib::str_to_float(std::string_view(data).substr(0, sep)));
  depth_to_ = to_float32(lib::str_to_float(
      std::string_view(data).substr(sep + std::char_traits<char>::length(kIntervalSeparator))));
}

std::unique_ptr<MinMaxValue> MinMaxRTKValue::clone() const {
  return std::make_unique<MinMaxRTKValue>(*this);
}

}  // namespace alarms
