// One record of the mud log: the mud engineer's measurements of the drilling mud at a time.
// A record is also a settings object, so the host's generic option editor shows and edits
// it: each measurement has an option key, a caption and a unit, and the editor lists them
// in an order of its own (mud type first, then the ones measured most often).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "journals/journal_key.h"
#include "lib/date_time.h"
#include "lib/options.h"

namespace journals {

// The measurements, by their position in the record and in the file.
enum MudMeasurement : std::size_t {
  kMudDensity,
  kMudStability,
  kMudViscosity,
  kMudPlasticViscosity,
  kMudFiltration,
  kMudStickiness,
  kMudCakeThickness,
  kMudPh,
  kMudResistivity,
  kMudChlorides,
  kMudSandPercent,
  kMudGelStrength1Min,
  kMudGelStrength10Min,
  kMudWaterLoss,
  kMudTemperature,
  kMudDynamicShear,
  kMudLubricant,
  kMudMbt,
  kMudMeasurementCount
};

struct MudMeasurementInfo {
  const char* key;
  const char* caption;
  const char* unit;  // "" when the value has none
};

// Key, caption and unit of each measurement, in record order.
extern const std::array<MudMeasurementInfo, kMudMeasurementCount> kMudMeasurements;
// The measurements in the order the options editor lists them, after the mud type.
extern const std::array<MudMeasurement, kMudMeasurementCount> kMudEditorOrder;

// The options section and caption of a mud log record.
inline constexpr const char* kMudLogSection = "РАСТВОР";
inline constexpr const char* kMudLogSectionCaption = "пж";
// The mud type option and the dictionary its value is picked from.
inline constexpr const char* kMudTypeKey = "тип_раствора";
inline constexpr const char* kMudTypeCaption = "Тип раствора";
inline constexpr const char* kMudTypesDict = "@drilling_mud_types_dict";

class MudLogItem : public lib::ini_options {
 public:
  JournalKey key;
  lib::DateTime time;
  std::string mud_type;
  std::array<double, kMudMeasurementCount> values{};

  double& operator[](MudMeasurement m) { return values[m]; }
  double operator[](MudMeasurement m) const { return values[m]; }

  // Declares the mud type and the measurements, in the editor's order, bound to this
  // record's fields.
  void enum_values(lib::options_list& list);
  void get_options(lib::options_list& list) override { enum_values(list); }

  // The dictionary an option's value is picked from, or nullptr when it is typed freely.
  static const char* dict_of(std::string_view key);

  bool operator==(const MudLogItem& other) const {
    return key == other.key && time == other.time && mud_type == other.mud_type &&
           values == other.values;
  }
};

}  // namespace journals
