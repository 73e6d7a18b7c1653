// Survey stations (measured depth, inclination, azimuth) as a CSV file, for importing the
// surveys of a directional company and for exporting the station list (format in
// docs/survey-csv.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"
#include "pore/wellbore.h"

namespace pore {

struct SurveyCsvResult {
  std::vector<WellborePoint> points;  // in measured-depth order
  // One entry per row that could not be taken: "line N: reason".
  std::vector<std::string> problems;
};

// Reads stations from file bytes. Rows may come in any order; they are sorted by measured
// depth. An azimuth from -360 up to 720 degrees is brought into 0..360. Rows that do not
// parse, or repeat an earlier row's measured depth, are left out and reported with their
// line numbers.
SurveyCsvResult parse_survey_csv(std::string_view bytes);

// The stations as file bytes: UTF-8 with a byte-order mark, ";" separated, "." decimals,
// CRLF line ends.
std::string survey_to_csv(const std::vector<WellborePoint>& points);

// Replaces the wellbore's stations with the file's. Nothing changes unless the file was
// read and every row parsed; `problems` says why.
bool load_survey_csv(const std::string& path, Wellbore& wellbore,
                     std::vector<std::string>& problems, lib::FileSystem& fs);

// Writes the wellbore's stations atomically; throws lib::io::StreamError on failure.
void save_survey_csv(const std::string& path, const Wellbore& wellbore, lib::FileSystem& fs);

}  // namespace pore
