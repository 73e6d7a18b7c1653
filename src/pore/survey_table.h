// The station table as the operator sees it: nine columns, each titled by its translation
// key, in a fixed order; and the whole computed trajectory as CSV for other programs.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "pore/min_curvature.h"
#include "pore/wellbore.h"
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

// The shortest text that reads back to exactly `value` ("0.1", "199.49307700452988"), "."
// decimals; a negative zero is written "0".
std::string shortest_text(double value);
std::string shortest_text(float value);

// The computed trajectory as CSV text for other programs (columns in survey_csv_format.h,
// docs/survey.md): measured depth, inclination and azimuth as stored, then the full
// precision results, dogleg severity in `unit`; ";" separated, "\n" line ends. `results`
// holds one entry per station (Wellbore::results after a calculation); otherwise throws
// std::invalid_argument.
std::string format_trajectory_csv(const std::vector<WellborePoint>& points,
                                  const std::vector<StationResult>& results, DoglegUnit unit);

}  // namespace pore
