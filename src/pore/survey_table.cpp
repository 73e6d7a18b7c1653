#include "pore/survey_table.h"

#include <algorithm>
#include <charconv>
#include <numbers>
#include <stdexcept>

#include "lib/str_utils.h"
#include "pore/survey_csv_format.h"

namespace pore {

const std::array<SurveyColumn, kSurveyColumnCount>& survey_columns() {
  static const std::array<SurveyColumn, kSurveyColumnCount> columns = {{
      {"grdh_depth_m", "Глубина, м"},
      {"grdh_zenit_g", "Зенит, °"},
      {"grdh_azimut_g", "Азимут, °"},
      {"grdh_vdepth_m", "Вертикальная глубина, м"},
      {"grdh_adepth_m", "Абсолютная отметка, м"},
      {"grdh_ns_m", "Север, м"},
      {"grdh_ew_m", "Восток, м"},
      {"grdh_vs_m", "Смещение, м"},
      {"grdh_dogleg_g", "Искривление, °"},
  }};
  return columns;
}

std::array<double, kSurveyColumnCount> survey_row(const WellborePoint& p) {
  return {p.depth, p.zenit,        p.azimut,
          p.z,     p.abs_level,    p.y,
          p.x,     p.displacement, p.dogleg * 180.0 / std::numbers::pi};
}

std::string format_survey_table(const std::vector<WellborePoint>& points) {
  std::vector<std::array<std::string, kSurveyColumnCount>> cells;
  std::array<std::size_t, kSurveyColumnCount> width{};
  for (std::size_t c = 0; c < kSurveyColumnCount; ++c)
    width[c] = std::string(survey_columns()[c].key).size();
  for (const WellborePoint& p : points) {
    const auto row = survey_row(p);
    std::array<std::string, kSurveyColumnCount> line;
    for (std::size_t c = 0; c < kSurveyColumnCount; ++c) {
      line[c] = lib::float_to_str(row[c], 2);
      width[c] = std::max(width[c], line[c].size());
    }
    cells.push_back(std::move(line));
  }
  auto put = [&](std::string& out, std::size_t c, const std::string& text) {
    if (c > 0) out += "  ";
    out.append(width[c] - text.size(), ' ');
    out += text;
  };
  std::string out;
  for (std::size_t c = 0; c < kSurveyColumnCount; ++c) put(out, c, survey_columns()[c].key);
  out += '\n';
  for (const auto& line : cells) {
    for (std::size_t c = 0; c < kSurveyColumnCount; ++c) put(out, c, line[c]);
    out += '\n';
  }
  return out;
}

namespace {

template <typename T>
std::string shortest(T value) {
  if (value == 0) return "0";  // also a negative zero, which means nothing here
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string shortest_text(double value) {
  return shortest(value);
}

std::string shortest_text(float value) {
  return shortest(value);
}

std::string format_trajectory_csv(const std::vector<WellborePoint>& points,
                                  const std::vector<StationResult>& results, DoglegUnit unit) {
  if (results.size() != points.size()) {
    throw std::invalid_argument("the trajectory has " + std::to_string(results.size()) +
                                " results for " + std::to_string(points.size()) + " stations");
  }
  using namespace survey_csv;
  std::string out;
  for (int c = 0; c < kTrajectoryFieldCount; ++c) {
    if (c > 0) out += kSeparator;
    out += c + 1 == kTrajectoryFieldCount && unit == DoglegUnit::kPer100ft ? kSeverityPer100ftTitle
                                                                           : kTrajectoryHeader[c];
  }
  out += '\n';
  for (std::size_t i = 0; i < points.size(); ++i) {
    const WellborePoint& p = points[i];
    const StationResult& r = results[i];
    const std::string cells[kTrajectoryFieldCount] = {
        shortest_text(p.depth),
        shortest_text(p.zenit),
        shortest_text(p.azimut),
        shortest_text(r.vertical),
        shortest_text(r.abs_level),
        shortest_text(r.north),
        shortest_text(r.east),
        shortest_text(r.displacement),
        shortest_text(r.dogleg * (180 / std::numbers::pi)),
        shortest_text(r.severity(unit))};
    for (int c = 0; c < kTrajectoryFieldCount; ++c) {
      if (c > 0) out += kSeparator;
      out += cells[c];
    }
    out += '\n';
  }
  return out;
}

}  // namespace pore
