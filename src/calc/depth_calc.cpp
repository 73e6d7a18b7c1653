#include "calc/depth_calc.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "calc/depth_calibration_format.h"
#include "lib/str_utils.h"
#include "lib/string_container.h"

namespace calc {

namespace {

namespace fmt = depth_format;

// A step of the step table ends this far before the range's far end, so that the next range's
// coefficient starts exactly at the boundary.
constexpr double kStepEdge = 0.0001;

// A height the walk reaches within a micrometre of the block height counts as reached:
// the heights are sums of many fractions of a metre, and their rounding must not move the
// start of the walk by a whole pulse.
constexpr double kHeightTolerance = 1e-6;

std::string number(double v) {
  return lib::float_to_str(v, fmt::kDigits);
}

bool finite(float v) {
  return std::isfinite(v);
}

}  // namespace

// ---- DolCalibrItem ----------------------------------------------------------------------------

void DolCalibrItem::set_to_string(std::string& text) const {
  lib::StringContainer fields;
  fields.add(number(depth1));
  fields.add(number(depth2));
  fields.add(number(count));
  text = fields.comma_text();
}

void DolCalibrItem::get_from_string(const std::string& text) {
  lib::StringContainer fields;
  fields.set_comma_text(text);
  if (fields.size() != fmt::kLineFields) {
    throw DepthCalcError("expected 3 numbers (start, end, pulses per metre), found " +
                         std::to_string(fields.size()) + " field(s)");
  }
  static const char* const kNames[] = {"start", "end", "pulses per metre"};
  double v[fmt::kLineFields] = {};
  for (std::size_t i = 0; i < fmt::kLineFields; ++i) {
    std::string why;
    if (!lib::parse_finite_float(fields[i], v[i], why))
      throw DepthCalcError(std::string(kNames[i]) + " " + why);
  }
  depth1 = static_cast<float>(v[fmt::kDepth1Field]);
  depth2 = static_cast<float>(v[fmt::kDepth2Field]);
  count = static_cast<float>(v[fmt::kCountField]);
}

void DolCalibrItem::set_counter(int pulses) {
  const float span = std::fabs(depth1 - depth2);
  if (!lib::is_over_null(span)) return;
  count = static_cast<float>(pulses) / span;
}

// ---- DepthCalc: construction and table --------------------------------------------------------

namespace {
std::string name_or_default(const std::string& name) {
  return name.empty() ? fmt::kDefaultModuleName : name;
}
}  // namespace

DepthCalc::DepthCalc() : DepthCalc(std::string()) {}

DepthCalc::DepthCalc(const std::string& module_name)
    : lib::IniCollectModule(name_or_default(module_name)),
      lib::SerialModuleBase(name_or_default(module_name), fmt::kStateVersion) {
  set_defaults();
}

DepthCalc::DepthCalc(const DepthCalc& other)
    : lib::IniCollectModule(other),
      lib::ini_options(other),
      lib::SerialModuleBase(other),
      corr_coeff_(other.corr_coeff_),
      mode_(other.mode_),
      smooth_mode_(other.smooth_mode_),
      error_sink_(other.error_sink_) {}

DepthCalc::~DepthCalc() = default;

void DepthCalc::set_defaults() {
  items_.assign({DolCalibrItem(27, 18, 0), DolCalibrItem(18, 9, 0), DolCalibrItem(9, 0, 0)});
}

void DepthCalc::set_smooth_mode(int mode) {
  smooth_mode_ = mode >= 0 && mode <= kMaxSmoothMode ? mode : 0;
}

void DepthCalc::check() {
  if (!(corr_coeff_ >= kMinCorrCoeff)) corr_coeff_ = kMinCorrCoeff;  // NaN as well
  if (corr_coeff_ > kMaxCorrCoeff) corr_coeff_ = kMaxCorrCoeff;
}

void DepthCalc::report(const std::string& message) const {
  if (collected_ != nullptr) {
    collected_->push_back(message);
  } else if (error_sink_) {
    error_sink_("DepthCalc: " + message);
  }
}

// ---- settings ---------------------------------------------------------------------------------

void DepthCalc::get_options(lib::options_list& o) {
  o.sector(fmt::kOptionsSection, "Расчет глубины");
  o.add(fmt::kModeKey, "Метод расчета", mode_, kModeSingle).set_range(kModeSingle, kModeTable);
  o.add(fmt::kSmoothModeKey, "Метод сглаживания", smooth_mode_, 0).set_range(0, kMaxSmoothMode);
  o.add(fmt::kCorrCoeffKey, "Коэффициент", corr_coeff_, 1.0, fmt::kDigits)
      .set_unit("имп/м")
      .set_range(kMinCorrCoeff, kMaxCorrCoeff);
}

std::vector<std::string> DepthCalc::load_settings(const lib::IniFile& ini) {
  std::vector<std::string> notes;
  collected_ = &notes;
  std::vector<lib::OptionIssue> issues;
  try {
    issues = lib::ini_options::load(ini);
  } catch (...) {
    collected_ = nullptr;
    throw;
  }
  collected_ = nullptr;
  std::vector<std::string> out;
  for (const lib::OptionIssue& i : issues) {
    out.push_back("[" + i.section + "] " + i.key + " = \"" + i.text + "\": " + i.reason);
  }
  out.insert(out.end(), notes.begin(), notes.end());
  return out;
}

void DepthCalc::save_settings(lib::IniFile& ini) const {
  lib::ini_options::save(ini);
}

void DepthCalc::load_additional_info(const lib::IniFile& ini) {
  check();
  // Without its section the file says nothing about the table: the one held stays (the
  // defaults at a first start), rather than an empty table that could convert nothing.
  if (!ini.has_section(section())) return;
  for (const std::string& issue : lib::IniCollectModule::load(ini)) {
    report(issue + "; the other ranges are used");
  }
}

void DepthCalc::save_additional_info(lib::IniFile& ini) const {
  lib::IniCollectModule::save(ini);
}

void DepthCalc::item_to_fields(std::size_t index, lib::StringContainer& fields) const {
  const DolCalibrItem& item = items_.at(index);
  fields.add(number(item.depth1));
  fields.add(number(item.depth2));
  fields.add(number(item.count));
}

bool DepthCalc::add_item_from_fields(const lib::StringContainer& fields, std::string& reason) {
  DolCalibrItem item;
  try {
    item.get_from_string(fields.comma_text());
  } catch (const DepthCalcError& e) {
    reason = e.what();
    return false;
  }
  items_.push_back(item);
  return true;
}

// ---- state ------------------------------------------------------------------------------------

void DepthCalc::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  std::int32_t index = last_index_;
  std::int32_t pulses = last_pulses_;
  float coeff = last_coeff_;
  float travel = last_travel_;
  list.add(index).add(pulses).add(coeff).add(travel);
  if (list.reading()) {
    if (!std::isfinite(coeff) || !std::isfinite(travel)) {
      throw lib::io::StreamError("the last travel or coefficient is not a finite number");
    }
    last_index_ = index;
    last_pulses_ = pulses;
    last_coeff_ = coeff;
    last_travel_ = travel;
  }
}

// ---- calculation ------------------------------------------------------------------------------

const lib::Interpolation& DepthCalc::curve() const {
  if (curve_smooth_mode_ == smooth_mode_ && curve_items_ == items_) return curve_;
  const bool steps = smooth_mode_ == 1;
  curve_.clear();
  curve_.set_size(steps ? items_.size() * 2 : items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const DolCalibrItem& item = items_[i];
    if (steps) {
      const double d1 = item.depth1;
      const double d2 = item.depth2;
      const double end = d2 <= d1 ? d2 + kStepEdge : d2 - kStepEdge;
      curve_.set_point(2 * i, d1, item.count);
      curve_.set_point(2 * i + 1, end, item.count);
    } else {
      curve_.set_point(i, item.get_middle_depth(), item.count);
    }
  }
  curve_.set_fallback_sink([this](const std::string& m) {
    report("the smoothing " + std::to_string(smooth_mode_) + " cannot use the table: " + m);
  });
  curve_items_ = items_;
  curve_smooth_mode_ = smooth_mode_;
  return curve_;
}

double DepthCalc::table_coeff(const lib::Interpolation& c, double height) const {
  return c.get_value(height, smooth_mode_) * corr_coeff_;
}

float DepthCalc::calc_coeff(float height, float coeff) const {
  if (coeff >= 0 && mode_ != kModeTable) return coeff;
  return static_cast<float>(table_coeff(curve(), height));
}

float DepthCalc::smart_calc_tal(int pulses, float height, float coeff, float from, float to) {
  if (mode_ == kModeSingle) {
    const float c = calc_coeff(height, coeff);
    if (!lib::is_over_null(c)) return 0;
    return static_cast<float>(pulses / static_cast<double>(c));
  }
  if (!finite(height) || !finite(from) || !finite(to)) {
    throw DepthCalcError("block travel: a height is not a number (block at " + number(height) +
                         " m, span " + number(from) + " to " + number(to) + " m)");
  }
  const lib::Interpolation& table = curve();
  const bool use_table = !(coeff >= 0 && mode_ != kModeTable);
  // Pulses per metre at h; a zero, negative or undefined coefficient falls back to `coeff`,
  // so every step moves the block upwards and the walk reaches `to`.
  auto step_coeff = [&](double h) {
    double c = use_table ? static_cast<float>(table_coeff(table, h)) : coeff;
    if (c > lib::kNullTolerance) return c;
    if (!(coeff > lib::kNullTolerance)) {
      throw DepthCalcError("block travel: the depth sensor table gives " + number(c) +
                           " pulses per metre at the block height " + number(h) +
                           " m and the fallback coefficient " + number(coeff) +
                           " is not positive either; no travel is computed, correct the table");
    }
    return static_cast<double>(coeff);
  };

  std::vector<double>& heights = walk_;
  heights.clear();
  double h = from;
  heights.push_back(h);
  std::size_t index = 0;
  const double reach = height + kHeightTolerance;
  do {
    const double next = h + 1.0 / step_coeff(h);
    if (!(next > h)) {
      throw DepthCalcError("block travel: the coefficient at the block height " + number(h) +
                           " m is so large that one pulse does not move the block; correct the "
                           "depth sensor table");
    }
    if (heights.size() > kMaxWalkSteps) {
      throw DepthCalcError("block travel: the walk from " + number(from) + " to " + number(to) +
                           " m takes more than " + std::to_string(kMaxWalkSteps) +
                           " pulses; the depth sensor table is wrong (coefficient " +
                           number(step_coeff(h)) + " pulses per metre at " + number(h) + " m)");
    }
    h = next;
    heights.push_back(h);
    if (h <= reach) index = heights.size() - 1;
  } while (h < to - kHeightTolerance);
  heights.push_back(to);
  if (to == height) index = heights.size() - 1;

  // Both stay well inside 32 bits: the walk is capped and the pulses are 32-bit.
  const auto idx = static_cast<std::int64_t>(index);
  const std::int64_t start = idx - pulses;
  double travel = 0;
  if (start < 0) {
    travel = (height - heights[index]) -
             static_cast<double>(start - idx) / step_coeff(static_cast<double>(from));
  } else if (start < static_cast<std::int64_t>(heights.size())) {
    travel = height - heights[static_cast<std::size_t>(start)];
  } else {
    travel = (height - heights[index]) -
             static_cast<double>(start - idx) / step_coeff(static_cast<double>(to));
  }
  last_index_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      start, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
  last_pulses_ = pulses;
  last_travel_ = static_cast<float>(travel);
  last_coeff_ = last_travel_ == 0 ? 0.0f : static_cast<float>(pulses / travel);
  return last_travel_;
}

// ---- grids ------------------------------------------------------------------------------------

std::vector<std::string> DepthCalc::data_grid_titles() {
  return {"Таль.1, м", "Таль.2, м", "Коэф.ДОЛ,\nимп/м"};
}

void DepthCalc::set_opts_to_grid(lib::TextGrid& grid) const {
  grid = lib::TextGrid({"Метка, м"});
  for (std::size_t i = 0; i < items_.size(); ++i) grid.set_cell(i + 1, 0, number(items_[i].depth1));
  if (!items_.empty()) grid.set_cell(items_.size() + 1, 0, number(items_.back().depth2));
}

void DepthCalc::get_opts_from_grid(const lib::TextGrid& grid) {
  std::vector<float> marks;
  for (std::size_t row = 1; row < grid.row_count(); ++row) {
    const std::string& cell = grid.cell(row, 0);
    if (lib::trim(cell).empty()) continue;
    double v = 0;
    std::string why;
    if (!lib::parse_finite_float(cell, v, why)) {
      throw DepthCalcError("depth marks, row " + std::to_string(row) + ": " + why +
                           "; the table is not changed");
    }
    marks.push_back(static_cast<float>(v));
  }
  if (marks.size() < 2) throw DepthCalcError(kTooFewMarksMessage);
  std::vector<DolCalibrItem> table;
  for (std::size_t i = 0; i + 1 < marks.size(); ++i)
    table.emplace_back(marks[i], marks[i + 1], 0.0f);
  items_ = std::move(table);
}

void DepthCalc::set_data_to_grid(lib::TextGrid& grid) const {
  grid = lib::TextGrid(data_grid_titles());
  grid.set_data_row_count(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) {
    grid.set_cell(i + 1, fmt::kDepth1Field, number(items_[i].depth1));
    grid.set_cell(i + 1, fmt::kDepth2Field, number(items_[i].depth2));
    grid.set_cell(i + 1, fmt::kCountField, number(items_[i].count));
  }
}

void DepthCalc::get_data_from_grid(const lib::TextGrid& grid) {
  const std::vector<std::string> titles = data_grid_titles();
  std::vector<DolCalibrItem> table;
  for (std::size_t row = 1; row < grid.row_count(); ++row) {
    if (grid.row_is_blank(row)) continue;
    double v[fmt::kLineFields] = {};
    for (std::size_t col = 0; col < fmt::kLineFields; ++col) {
      std::string why;
      if (!lib::parse_finite_float(grid.cell(row, col), v[col], why)) {
        std::string title = titles[col];
        for (char& c : title) {
          if (c == '\n') c = ' ';
        }
        throw DepthCalcError("depth sensor table, row " + std::to_string(row) + ", column \"" +
                             title + "\": " + why + "; the table is not changed");
      }
    }
    table.emplace_back(static_cast<float>(v[0]), static_cast<float>(v[1]),
                       static_cast<float>(v[2]));
  }
  items_ = std::move(table);
}

}  // namespace calc
