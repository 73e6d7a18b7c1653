// The station table as the operator sees it: nine columns, each titled by its translation
// key, in a fixed order.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "pore/wellbore_point.h"

namespace pore {

struct SurveyColumn {
  const char* key;      // translation key, also the column title where no translation exists
  const char* caption;  // the Russian title
};

inline constexpr std::size_t kSurveyColumnCount = 9;

// Measured depth, inclination, azimuth, vertical depth, absolute level, north, east,
// horizontal displacement, dogleg.
const std::array<SurveyColumn, kSurveyColumnCount>& survey_columns();

// A station's values in column order: metres and degrees (the dogleg converted from
// radians).
std::array<double, kSurveyColumnCount> survey_row(const WellborePoint& point);

// The table as text: a title line of the column keys, then one line per station with two
// decimals, columns right-aligned and separated by two blanks.
std::string format_survey_table(const std::vector<WellborePoint>& points);

}  // namespace pore
