#include "params/row_edit.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "params/all_params.h"
#include "params/calibration_check.h"
#include "params/par_tabl.h"
#include "params/wits_config.h"

namespace params {
namespace {

constexpr const char* kTypeNames[] = {"analog", "rate", "counter", "wits"};

template <class T>
std::string num(T value) {
  char buf[32];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

// Keeps the points rising in x; a point at the raw value of one already there replaces it.
void put_point(CalibrPoints& points, const UnitCalibrPoint& p) {
  for (UnitCalibrPoint& q : points) {
    if (std::fabs(q.x - p.x) < kMinSegmentWidth) {
      q = p;
      return;
    }
  }
  points.insert(std::upper_bound(points.begin(), points.end(), p), p);
}

std::set<std::string> identifiers(const ParTabl& table) {
  std::set<std::string> out;
  for (const Param& p : table.rows()) out.insert(p.identifier);
  return out;
}

// Checks `e` and applies it to the copy `p` of the row; the reason when refused.
std::string edit(Param& p, const AllParams& catalogue, const ParTabl& table, int row,
                 const RowEdit& e) {
  if (e.identifier) {
    const int c = catalogue.get_param_number(*e.identifier);
    if (c < 0) {
      return "'" + *e.identifier +
             "' is not in the parameter catalogue (rigstation params catalogue lists it)";
    }
    const int other = table.find_global(*e.identifier);
    if (other >= 0 && other != row) {
      return fmt::format("row {} is '{}' already, and a parameter has one row", other,
                         table[other].identifier);
    }
    const DefaultParam& d = catalogue.at(c);
    p.identifier = d.identifier;
    p.full_name = d.full_name;
    p.short_name = d.short_name;
    p.unit = d.unit;
    p.scale_min = d.scale_min;
    p.scale_max = d.scale_max;
    p.attribute = d.attribute;
  }
  if (e.module) {
    if (*e.module < 0 || *e.module > kMaxModule)
      return fmt::format("a module address is 0 .. {}, not {}", kMaxModule, *e.module);
    p.channel.module = *e.module;
  }
  if (e.channel) {
    if (*e.channel < kNoChannel || *e.channel > kMaxChannel)
      return fmt::format("an input is {} (none) .. {}, not {}", kNoChannel, kMaxChannel,
                         *e.channel);
    p.channel.channel = *e.channel;
  }
  if (e.type) {
    if (*e.type < kChannelAnalog || *e.type > kChannelWits)
      return fmt::format("a channel type is analog, rate, counter or wits (0 .. 3), not {}",
                         *e.type);
    p.channel.type = *e.type;
  }
  if (e.wits_code) {
    if (!wits_config::is_item_code(*e.wits_code)) {
      return "a WITS code is four decimal digits, the record then the item (0121: item 21 of "
             "record 1), not '" +
             *e.wits_code + "'";
    }
    p.channel.channel = 0;
    p.channel.type = kChannelWits;
    p.ext_info.set(ext_keys::kWitsCode, *e.wits_code);
  }
  if (e.wits_server) {
    if (p.channel.type != kChannelWits)
      return "a WITS server feeds only a WITS row; give the row's WITS code too";
    p.ext_info.set(ext_keys::kWitsServer, *e.wits_server);
  }
  if (e.range) {
    if (!std::isfinite(*e.range)) return "the range must be a finite number";
    p.range = *e.range;
  }
  if (e.zero) {
    if (!std::isfinite(*e.zero)) return "the zero must be a finite number";
    p.zero = *e.zero;
  }
  if (e.averaging) {
    if (*e.averaging < 1 || *e.averaging > kMaxAveraging)
      return fmt::format("averaging is 1 .. {} ticks, not {}", kMaxAveraging, *e.averaging);
    p.averaging = *e.averaging;
  }
  // Points given together are all meant: two at one raw value are a mistake to report, not
  // one to drop.
  for (const CalibrPoints* given : {e.points ? &*e.points : nullptr, &e.add_points}) {
    if (given == nullptr) continue;
    CalibrPoints sorted = *given;
    std::stable_sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
      if (std::fabs(sorted[i + 1].x - sorted[i].x) < kMinSegmentWidth)
        return fmt::format("two of the points given have the raw value {}", sorted[i].x);
    }
  }
  if (e.points) {
    p.points = *e.points;
    std::stable_sort(p.points.begin(), p.points.end());
  }
  for (const UnitCalibrPoint& pt : e.add_points) put_point(p.points, pt);
  if (auto fault = calibration_fault(p.points)) return "the calibration is refused: " + *fault;
  // The parameter file keeps points only for rows with an input: others would lose them.
  if (!p.points.empty() && !p.channel.has_channel())
    return "a row without an input keeps no calibration points; give it an input first";
  return {};
}

}  // namespace

int find_row(const ParTabl& table, const std::string& which) {
  if (const int row = table.find_global(which); row >= 0) return row;
  int n = -1;
  const auto [end, ec] = std::from_chars(which.data(), which.data() + which.size(), n);
  if (ec != std::errc() || end != which.data() + which.size()) return -1;
  return n >= 0 && n < table.get_items_count() ? n : -1;
}

std::optional<std::int32_t> channel_type_of(const std::string& text) {
  for (std::int32_t t = kChannelAnalog; t <= kChannelWits; ++t) {
    if (text == kTypeNames[t] || text == std::to_string(t)) return t;
  }
  return std::nullopt;
}

RowEditResult apply_row_edit(ParTabl& table, const AllParams& catalogue, int row,
                             const RowEdit& e) {
  RowEditResult r;
  r.row = row;
  if (row < 0 || row >= table.get_items_count()) {
    r.error = fmt::format("the table has no row {}", row);
    return r;
  }
  const Param before = table[row];
  Param after = before;
  r.error = edit(after, catalogue, table, row, e);
  if (!r.error.empty()) return r;

  // The edit journal's report (its calibration note last), the points themselves, then
  // what the report does not cover.
  r.changes = before.check_changes(after);
  if (after.points != before.points) {
    for (const UnitCalibrPoint& pt : after.points)
      r.changes += "(" + num(pt.x) + "; " + num(pt.y) + ") ";
  }
  if (after.identifier != before.identifier)
    r.changes += "идентификатор[" + before.identifier + " -> " + after.identifier + "] ";
  for (const char* key : {ext_keys::kWitsCode, ext_keys::kWitsServer}) {
    const std::string was = before.ext_info.get(key), now = after.ext_info.get(key);
    if (was != now) r.changes += std::string(key) + "[" + was + " -> " + now + "] ";
  }

  std::vector<Param> rows;
  table.get_all_params(rows);
  const std::set<std::string> ids = identifiers(table);
  table[row] = after;
  table.check();
  if (table.find_global(after.identifier) < 0) {
    // The rules dropped the row itself: the edit cannot stand.
    table.clear();
    for (const Param& p : rows) table.add(p);
    r.error = "the table's dependency rules would drop '" + after.identifier +
              "' at once (a tank volume needs its level, relative gas its absolute gas)";
    r.changes.clear();
    return r;
  }
  const std::set<std::string> now = identifiers(table);
  for (const std::string& id : ids)
    if (!now.count(id) && id != before.identifier) r.changes += "удалён " + id + " ";
  for (const std::string& id : now)
    if (!ids.count(id) && id != after.identifier) r.changes += "добавлен " + id + " ";
  r.row = table.find_global(after.identifier);
  while (!r.changes.empty() && r.changes.back() == ' ') r.changes.pop_back();
  return r;
}

}  // namespace params
