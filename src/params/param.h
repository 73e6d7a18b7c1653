// One row of the parameter table: which catalogue parameter it is, where its raw input
// comes from, how the raw input becomes an engineering value (linear range and zero, or
// calibration points), its indicator scale and its extended settings.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "lib/binary_stream.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/str_enc.h"
#include "params/host_data.h"
#include "params/param_ext_info.h"
#include "params/param_file_format.h"
#include "params/unit_calibr_point.h"
#include "params/uso_channel.h"

namespace params {

class AllParams;
struct CalibrLoadResult;

// Constants of the radioactive density correction.
namespace radio_decay {
// Used when the row's "radio_koeff" is zero or missing.
inline constexpr double kDefaultKoeff = 0.9976;
// Days to years (1 / 365.25).
inline constexpr double kYearsPerDay = 0.0027378507871321013;
inline constexpr double kLn2 = 0.69314718;
// The channel that marks a cementing density row as a radioactive meter.
inline constexpr std::int32_t kCementMeterChannel = 30;
}  // namespace radio_decay

// The linear conversion: a row spans its range over a 0 to 5 V input, whose top the
// converter's full-scale count reaches.
namespace linear_input {
inline constexpr double kScale = 0.2;
inline constexpr double kVolts = 5.0;
}  // namespace linear_input

class Param {
 public:
  std::string full_name;
  std::string short_name;  // column and indicator caption
  std::string unit;
  std::string identifier;  // the catalogue key; compared without regard to case
  USOChannel channel;
  std::int32_t averaging = 1;  // number of ticks averaged
  float range = 0;             // full-scale value of the linear conversion
  float zero = 0;              // offset of the linear conversion
  float scale_min = 0;         // indicator scale
  float scale_max = 0;
  std::uint8_t attribute = 0;  // kept and copied for the displaying side
  CalibrPoints points;         // ascending in x; empty means the linear conversion
  ParamExtInfo ext_info;

  // Every field but the extended information; floats compared exactly.
  bool equal(const Param& other) const;
  bool operator==(const Param& other) const { return equal(other); }

  // ---- conversion ---------------------------------------------------------------------
  // The engineering value of a raw input. `factor` scales the hook load only (the line
  // multiplier of the drawworks) and is not applied on calibrated rows.
  // `now` is the current time, for the decay correction.
  double calc_value_by_voltage(double raw, double factor, lib::DateTime now) const;
  // The engineering value of a raw value as a reading gives it for the row's channel.
  // An analog row without calibration points gets ADC counts, which the linear conversion
  // cannot take as they are: they become volts first, the converter's full-scale count
  // (`adc_full_scale`, the protocol's maximum ADC value) being the top of the 0 to 5 V
  // input. Calibrated rows map their own raw values (their points are in counts), and rate,
  // counter and WITS rows are not ADC counts: those pass unchanged. An uncalibrated analog
  // row with no full scale to go by (0 or less) has no value: NaN.
  double calc_value_from_reading(double raw, std::int32_t adc_full_scale, double factor,
                                 lib::DateTime now) const;
  // What a conversion takes from the row's identifier, channel and points besides their
  // numbers. Working it out compares identifiers without regard to case and checks every
  // point, so a caller that converts the same row every tick keeps them while those fields
  // stay as they were.
  struct ConversionFacts {
    bool radioactive = false;  // a radioactive density meter: its input decays
    bool hook_load = false;    // the linear conversion takes the line multiplier
    bool usable = true;        // the points can convert
  };
  ConversionFacts conversion_facts() const;
  // The same as calc_value_from_reading, with the facts of this row as it is now.
  double calc_value_from_reading(double raw, std::int32_t adc_full_scale, double factor,
                                 lib::DateTime now, const ConversionFacts& facts) const;
  // True when the row's raw values are ADC counts the linear conversion must scale.
  bool needs_adc_scaling() const;
  // Volts at an analog input whose converter shows `counts` of `adc_full_scale`; NaN when
  // the full scale is 0 or less.
  static double adc_counts_to_volts(double counts, std::int32_t adc_full_scale);
  // True for the radioactive density meter rows, whose input decays with their source.
  bool is_radioactive_density_meter() const;
  // The factor the raw input of a radioactive meter is multiplied by at `now`; 1 for
  // other rows and for meters without calibration time or half-life.
  double decay_factor(lib::DateTime now) const;
  // The same for a row whose facts say whether it is such a meter.
  double decay_factor(lib::DateTime now, bool radioactive) const;
  // Shifts the conversion so that an input that showed `shown` shows `wanted`.
  void correct_kalibr(float shown, float wanted);
  // Kept for rows that might need to clamp their settings; a row has nothing to fix today.
  void check_values() {}

  // ---- editing ------------------------------------------------------------------------
  // Describes what an edit changed, called on the row before the edit: one
  // "label[old -> new] " item per changed field, then a note on the calibration points.
  std::string check_changes(const Param& after) const;

  // Called by the host's parameter editor. Answers whether the row is a radioactive
  // density meter (a digital row of the catalogue); for such a row, when an editor is
  // given, it edits "last_calibr_time", "half_life" and "radio_koeff" of the row and the
  // result is its acceptance.
  using RadioOptionsEditor = std::function<bool(Param& row, const reg::HostData& host)>;
  bool param_options(const reg::HostData& host, const AllParams& catalogue,
                     const RadioOptionsEditor& editor = {});

  // ---- files --------------------------------------------------------------------------
  // One row of the parameter file in the layout of `version`.
  void save_to_file(lib::io::OutputStream& out, const lib::StrEncConverter& converter,
                    int version) const;
  // One record of the rows part: a row (into *this), the header (updating version and the
  // converter) or the end of the rows. Throws lib::io::StreamError on cut data.
  param_file::RowRecord load_from_file(lib::io::InputStream& in, lib::StrEncConverter& converter,
                                       int& version);
  // The row's entry of the ".extended" file: identifier, then the extended information.
  void save_extended_info(lib::io::OutputStream& out) const;

  // The calibration points as a text file (docs/calibration-file.md). Throws
  // lib::io::StreamError when the file cannot be written; the old file then stays.
  void save_calibr_to_file(const std::string& path, lib::FileSystem& fs) const;
  // Replaces the points with those of a calibration file made for this row's identifier;
  // a file for another identifier, one that cannot be read, one with a NaN or infinite
  // point, or one whose points cannot convert (calibration_check.h) leaves the row unchanged.
  CalibrLoadResult load_calibr_from_file(const std::string& path, lib::FileSystem& fs);

 private:
  double convert(double raw, double factor, lib::DateTime now, const ConversionFacts& facts) const;
};

// The conversions a tick makes for every row are defined here, so that they are inlined
// into the loop over the rows.

inline bool Param::needs_adc_scaling() const {
  return channel.type == kChannelAnalog && points.empty();
}

inline double Param::adc_counts_to_volts(double counts, std::int32_t adc_full_scale) {
  if (adc_full_scale <= 0) return std::numeric_limits<double>::quiet_NaN();
  return counts * linear_input::kVolts / adc_full_scale;
}

inline double Param::calc_value_from_reading(double raw, std::int32_t adc_full_scale, double factor,
                                             lib::DateTime now,
                                             const ConversionFacts& facts) const {
  if (needs_adc_scaling()) raw = adc_counts_to_volts(raw, adc_full_scale);
  return convert(raw, factor, now, facts);
}

inline double Param::convert(double raw, double factor, lib::DateTime now,
                             const ConversionFacts& facts) const {
  if (facts.radioactive) raw *= decay_factor(now, true);
  if (points.empty()) {
    const double multiplier = facts.hook_load ? factor : 1.0;
    return raw * multiplier * range * linear_input::kScale + zero;
  }
  // Points that cannot convert (refused where they were loaded) give no number, so the row
  // shows as not valid rather than a plausible value.
  if (!facts.usable) return std::numeric_limits<double>::quiet_NaN();
  if (points.size() == 1) {
    const UnitCalibrPoint& p = points.front();
    return raw == 0.0 ? 0.0 : raw * p.y / p.x;
  }
  // The first segment whose upper end lies above the input; past the last point the last
  // segment is extended, below the first point the first one is.
  std::size_t i = 0;
  const std::size_t last_segment = points.size() - 2;
  while (i < last_segment && !(points[i + 1].x > raw)) ++i;
  const UnitCalibrPoint& a = points[i];
  const UnitCalibrPoint& b = points[i + 1];
  return (b.y - a.y) * (raw - a.x) / (b.x - a.x) + a.y;
}

}  // namespace params
