#include "params/param.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "lib/ident.h"
#include "lib/str_utils.h"
#include "params/all_params.h"
#include "params/calibration_check.h"
#include "params/calibration_file.h"
#include "params/param_file.h"
#include "params/param_vars.h"

namespace params {
namespace {

// Labels of the change report, as the operator reads them in the edit journal.
constexpr const char* kLabelFullName = "назв.";
constexpr const char* kLabelShortName = "кратк.назв.";
constexpr const char* kLabelUnit = "ед.изм.";
constexpr const char* kLabelModule = "АЦП";
constexpr const char* kLabelChannel = "АЦП";
constexpr const char* kLabelChannelType = "тип канала";
constexpr const char* kLabelAveraging = "осредн.";
constexpr const char* kLabelRange = "диап.";
constexpr const char* kLabelZero = "нуль";
constexpr const char* kPointsCorrected = "скорректированы точки калибровки ";
constexpr const char* kPointsRecalibrated = "произведена калибровка по нескольким точкам ";
constexpr const char* kPointsRemoved = "удалены точки калибровки ";

// The identifier whose conversion takes the line multiplier.
constexpr const char* kHookLoad = "вес_на_крюке";
constexpr const char* kCementDensity = "cem_plotn";

// Shortest text that reads back to the same float, as an operator would type it.
std::string number_text(float value) {
  char buf[32];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}
std::string number_text(std::int32_t value) {
  return std::to_string(value);
}
std::string number_text(const std::string& value) {
  return value;
}

template <class T>
void report_change(std::string& text, const char* label, const T& before, const T& after) {
  if (before == after) return;
  text += label;
  text += '[';
  text += number_text(before);
  text += " -> ";
  text += number_text(after);
  text += "] ";
}

}  // namespace

bool Param::equal(const Param& o) const {
  return full_name == o.full_name && short_name == o.short_name && unit == o.unit &&
         identifier == o.identifier && channel == o.channel && averaging == o.averaging &&
         range == o.range && zero == o.zero && scale_min == o.scale_min &&
         scale_max == o.scale_max && attribute == o.attribute && points == o.points;
}

bool Param::is_radioactive_density_meter() const {
  if (lib::ident_equal(identifier, ParamVars::radio_dens_in) ||
      lib::ident_equal(identifier, ParamVars::radio_dens_out)) {
    return true;
  }
  return channel.channel == radio_decay::kCementMeterChannel &&
         lib::ident_equal(identifier, kCementDensity);
}

double Param::decay_factor(lib::DateTime now) const {
  return decay_factor(now, is_radioactive_density_meter());
}

double Param::decay_factor(lib::DateTime now, bool radioactive) const {
  if (!radioactive) return 1.0;
  const double calibrated = ext_info.get_float(ext_keys::kLastCalibrTime);
  const double half_life = ext_info.get_float(ext_keys::kHalfLife);
  double koeff = ext_info.get_float(ext_keys::kRadioKoeff);
  if (!lib::is_over_null(koeff)) koeff = radio_decay::kDefaultKoeff;
  if (!lib::is_over_null(calibrated) || !lib::is_over_null(half_life)) return 1.0;
  const double days = now.days - calibrated;
  // Within the first day after calibration the source has not measurably decayed.
  if (days < 1.0) return 1.0;
  return std::exp(days * radio_decay::kYearsPerDay * radio_decay::kLn2 / half_life) * koeff;
}

Param::ConversionFacts Param::conversion_facts() const {
  ConversionFacts f;
  f.radioactive = is_radioactive_density_meter();
  f.hook_load = points.empty() && lib::ident_equal(identifier, kHookLoad);
  f.usable = calibration_usable(points);
  return f;
}

double Param::calc_value_by_voltage(double raw, double factor, lib::DateTime now) const {
  return convert(raw, factor, now, conversion_facts());
}

double Param::calc_value_from_reading(double raw, std::int32_t adc_full_scale, double factor,
                                      lib::DateTime now) const {
  return calc_value_from_reading(raw, adc_full_scale, factor, now, conversion_facts());
}

void Param::correct_kalibr(float shown, float wanted) {
  const float shift = wanted - shown;
  if (points.empty()) {
    zero += shift;
    return;
  }
  for (UnitCalibrPoint& p : points) p.y += shift;
}

std::string Param::check_changes(const Param& after) const {
  std::string text;
  report_change(text, kLabelFullName, full_name, after.full_name);
  report_change(text, kLabelShortName, short_name, after.short_name);
  report_change(text, kLabelUnit, unit, after.unit);
  report_change(text, kLabelModule, channel.module, after.channel.module);
  report_change(text, kLabelChannel, channel.channel, after.channel.channel);
  report_change(text, kLabelChannelType, channel.type, after.channel.type);
  report_change(text, kLabelAveraging, averaging, after.averaging);
  report_change(text, kLabelRange, range, after.range);
  report_change(text, kLabelZero, zero, after.zero);
  if (points != after.points) {
    if (after.points.empty()) {
      text += kPointsRemoved;
    } else if (after.points.size() == points.size()) {
      text += kPointsCorrected;
    } else {
      text += kPointsRecalibrated;
    }
  }
  return text;
}

bool Param::param_options(const reg::HostData& host, const AllParams& catalogue,
                          const RadioOptionsEditor& editor) {
  if (!catalogue.test_param(identifier, AllParams::ParamTest::kDigital)) return false;
  return editor ? editor(*this, host) : true;
}

void Param::save_to_file(lib::io::OutputStream& out, const lib::StrEncConverter& converter,
                         int version) const {
  param_file::write_row(out, converter, *this, version);
}

param_file::RowRecord Param::load_from_file(lib::io::InputStream& in,
                                            lib::StrEncConverter& converter, int& version) {
  return param_file::read_record(in, converter, version, *this);
}

void Param::save_extended_info(lib::io::OutputStream& out) const {
  lib::io::write_binary(out, identifier);
  ext_info.save(out);
}

void Param::save_calibr_to_file(const std::string& path, lib::FileSystem& fs) const {
  lib::write_file_atomically(path, calibration_file::format(identifier, points), fs);
}

CalibrLoadResult Param::load_calibr_from_file(const std::string& path, lib::FileSystem& fs) {
  CalibrLoadResult result;  // kCannotRead
  auto bytes = lib::read_whole_file(path, fs);
  if (!bytes) return result;
  auto parsed = calibration_file::parse(*bytes);
  if (!parsed) {
    result.status = CalibrLoadStatus::kNotCalibrFile;
    return result;
  }
  if (parsed->identifier != identifier) {
    result.status = CalibrLoadStatus::kOtherParam;
    return result;
  }
  result.skipped_lines = parsed->skipped_lines;
  // A point that is no number, or points that cannot convert, would make every conversion
  // of the row meaningless.
  if (parsed->first_bad_line > 0) {
    result.status = CalibrLoadStatus::kBadPoint;
    result.bad_line = parsed->first_bad_line;
  } else if (auto fault = calibration_fault(parsed->points)) {
    result.status = CalibrLoadStatus::kUnusable;
    result.fault = std::move(*fault);
  } else {
    result.status = CalibrLoadStatus::kLoaded;
    points = std::move(parsed->points);
  }
  return result;
}

}  // namespace params
