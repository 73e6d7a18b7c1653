// An operator's edit of one row of the parameter table (rigstation params set and params
// calibrate): each field given replaces the row's, the others stay. The edit is checked as
// the loader checks a file's rows, and more: what it refuses never reaches the table, so a
// table that was sound stays sound and a later load takes it whole.
//
// Not thread-safe; the caller owns the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/unit_calibr_point.h"

namespace params {

class AllParams;
class ParTabl;

struct RowEdit {
  // Another catalogue parameter for the row: its names, unit, scale and store mode come
  // with it; the input and the conversion stay unless given too.
  std::optional<std::string> identifier;
  std::optional<std::int32_t> module;   // bus address, 0 .. kMaxModule
  std::optional<std::int32_t> channel;  // input on the module, kNoChannel .. kMaxChannel
  std::optional<std::int32_t> type;     // a ChannelType
  // The WITS item ("RRII") that feeds the row: the row becomes a WITS row (channel 0,
  // type kChannelWits), read from `wits_server` when given, else from any server.
  std::optional<std::string> wits_code;
  std::optional<std::string> wits_server;
  std::optional<float> range;
  std::optional<float> zero;
  std::optional<std::int32_t> averaging;  // ticks, 1 .. kMaxAveraging
  // Replaces the points (in any order: they are kept rising in x); empty: none, the linear
  // conversion.
  std::optional<CalibrPoints> points;
  // Points to add; one at the raw value of a point the row has replaces it. Two points given
  // at one raw value are refused.
  CalibrPoints add_points;
};

inline constexpr std::int32_t kMaxModule = 255;
inline constexpr std::int32_t kMaxChannel = 1023;
// The longest window the station's averages keep.
inline constexpr std::int32_t kMaxAveraging = 1000;

struct RowEditResult {
  std::string error;  // empty: applied
  int row = -1;
  // What changed, for the operator: the edit journal's report of the row, then the
  // identifier and WITS changes, then the rows the table's dependency rules added or removed.
  std::string changes;
};

// The row of `which`: an identifier of the table, or a row number as `rigstation params show`
// lists it (from 0); -1 when none.
int find_row(const ParTabl& table, const std::string& which);

// Checks the edit against row `row` and applies it, then the table's dependency rules. A
// refused edit leaves the table as it was and says why.
RowEditResult apply_row_edit(ParTabl& table, const AllParams& catalogue, int row,
                             const RowEdit& edit);

// A channel type from its name ("analog", "rate", "counter", "wits") or number; nullopt when
// neither.
std::optional<std::int32_t> channel_type_of(const std::string& text);

}  // namespace params
