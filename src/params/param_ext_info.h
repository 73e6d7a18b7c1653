// Free-form extra settings of a parameter row, as key/value texts. They are kept beside
// the fixed fields so that new settings (a density meter's source data, the WITS mapping)
// need no change of the parameter file layout; they travel in the ".extended" companion.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "lib/binary_stream.h"

namespace params {

// Keys the library itself reads or writes.
namespace ext_keys {
// Date-time (days, as text) of the last calibration of a radioactive density meter.
inline constexpr const char* kLastCalibrTime = "last_calibr_time";
// Half-life of the meter's source, in years.
inline constexpr const char* kHalfLife = "half_life";
// Correction coefficient of the meter.
inline constexpr const char* kRadioKoeff = "radio_koeff";
// The WITS configuration line that mapped the row.
inline constexpr const char* kWits = "wits";
// Name of the WITS server that feeds the row.
inline constexpr const char* kWitsServer = "wits_server";
// The WITS item ("RRII") whose value is the row's raw input.
inline constexpr const char* kWitsCode = "wits_code";
}  // namespace ext_keys

class ParamExtInfo {
 public:
  using Map = std::map<std::string, std::string, std::less<>>;

  // The value of key; "" when absent.
  std::string get(std::string_view key) const;
  // The value of key read as a number (tolerant: "," or "." separators); 0 when absent or
  // not a number.
  double get_float(std::string_view key) const;
  // Inserts or replaces.
  void set(std::string_view key, std::string_view value);
  void clear() { values_.clear(); }
  bool empty() const { return values_.empty(); }
  const Map& values() const { return values_; }

  // Binary form: int32 pair count, then key and value of each pair as stream strings.
  void save(lib::io::OutputStream& out) const;
  // Replaces the content with what the stream holds. Throws lib::io::StreamError on
  // damaged or cut data, leaving the content unchanged.
  void load(lib::io::InputStream& in);

  bool operator==(const ParamExtInfo&) const = default;

 private:
  Map values_;
};

}  // namespace params
