#include "pore/survey_csv.h"

#include <algorithm>
#include <cerrno>

#include "instr/csv_text.h"
#include "pore/survey_csv_format.h"

namespace pore {
namespace {

namespace csv = instr::csv;
using namespace survey_csv;

std::string line_problem(int line, const std::string& reason) {
  return "line " + std::to_string(line) + ": " + reason;
}

bool parse_row(const std::vector<std::string>& f, WellborePoint& p, std::string& why) {
  if (static_cast<int>(f.size()) < kFieldCount) {
    why = "expected measured depth, inclination and azimuth, found " + std::to_string(f.size()) +
          " field(s)";
    return false;
  }
  struct Field {
    int index;
    const char* what;
  } fields[] = {
      {kDepthField, "measured depth"}, {kZenitField, "inclination"}, {kAzimutField, "azimuth"}};
  double v[3];
  for (int i = 0; i < 3; ++i) {
    auto n = csv::parse_number(f[fields[i].index]);
    if (!n) {
      why = std::string(fields[i].what) + " \"" + f[fields[i].index] + "\" is not a number";
      return false;
    }
    v[i] = *n;
  }
  p.depth = static_cast<float>(v[0]);
  p.zenit = static_cast<float>(v[1]);
  p.azimut = static_cast<float>(Wellbore::correct_angle(v[2]));
  if (auto bad = p.check()) {
    why = *bad;
    return false;
  }
  if (p.azimut >= 360) p.azimut = 0;  // 360 is north, written the usual way
  return true;
}

}  // namespace

SurveyCsvResult parse_survey_csv(std::string_view bytes) {
  SurveyCsvResult result;
  struct Row {
    WellborePoint point;
    int line;
  };
  std::vector<Row> rows;
  const std::string text = csv::decode_file_text(bytes);
  char sep = 0;
  bool header_allowed = true;
  for (const csv::Line& line : csv::split_lines(text)) {
    if (csv::is_skipped_line(line.text)) continue;
    if (sep == 0) sep = csv::detect_separator(line.text);
    const std::vector<std::string> fields = csv::split_fields(line.text, sep);
    if (csv::all_fields_empty(fields)) continue;
    // A first row whose depth column holds no number is the column titles.
    if (header_allowed) {
      header_allowed = false;
      if (!csv::parse_number(fields[0])) continue;
    }
    if (rows.size() >= Wellbore::kMaxPoints) {
      result.problems.push_back(line_problem(
          line.number, "more than " + std::to_string(Wellbore::kMaxPoints) + " stations"));
      break;
    }
    WellborePoint p;
    std::string why;
    if (parse_row(fields, p, why)) {
      rows.push_back({p, line.number});
    } else {
      result.problems.push_back(line_problem(line.number, why));
    }
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.point < b.point; });
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i > 0 && rows[i].point.depth == result.points.back().depth) {
      // Two different readings at one depth cannot both be right.
      result.problems.push_back(line_problem(
          rows[i].line, "measured depth " + csv::float_text(rows[i].point.depth) + " given twice"));
      continue;
    }
    result.points.push_back(rows[i].point);
  }
  return result;
}

std::string survey_to_csv(const std::vector<WellborePoint>& points) {
  const std::string eol = "\r\n";
  std::string out = "\xEF\xBB\xBF";
  for (int i = 0; i < kFieldCount; ++i) {
    if (i > 0) out += kSeparator;
    out += kHeader[i];
  }
  out += eol;
  for (const WellborePoint& p : points) {
    out += csv::float_text(p.depth);
    out += kSeparator + csv::float_text(p.zenit);
    out += kSeparator + csv::float_text(p.azimut);
    out += eol;
  }
  return out;
}

bool load_survey_csv(const std::string& path, Wellbore& wellbore,
                     std::vector<std::string>& problems, lib::FileSystem& fs) {
  problems.clear();
  auto bytes = lib::read_whole_file(path, fs, survey_csv::kMaxFileBytes);
  if (!bytes) {
    problems.push_back("cannot read " + path + ": " +
                       lib::read_failure_text(errno, survey_csv::kMaxFileBytes));
    return false;
  }
  SurveyCsvResult parsed = parse_survey_csv(*bytes);
  if (!parsed.problems.empty()) {
    problems = std::move(parsed.problems);
    return false;
  }
  wellbore.set_points(std::move(parsed.points));  // every station passed check() already
  return true;
}

void save_survey_csv(const std::string& path, const Wellbore& wellbore, lib::FileSystem& fs) {
  lib::write_file_atomically(path, survey_to_csv(wellbore.points_copy()), fs);
}

}  // namespace pore
