#include "params/calibration_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "lib/str_enc.h"
#include "lib/str_utils.h"
#include "params/calibration_file_format.h"

namespace params::calibration_file {
namespace {

// Splits text into lines at "\n", dropping a "\r" before it; a final line without "\n"
// counts, an empty remainder after the last "\n" does not.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string_view column(std::string_view line, std::size_t offset) {
  if (offset >= line.size()) return {};
  return line.substr(offset, kNumberWidth);
}

// "nan" and "inf" read as numbers here, so that the parser can name the line: a point made
// of them would turn every converted reading into garbage, and refuses the file.
bool read_number(std::string_view text, double& out) {
  return lib::try_str_to_float(text, out);
}

bool read_point(std::string_view line, UnitCalibrPoint& point) {
  if (read_number(column(line, kXOffset), point.x) &&
      read_number(column(line, kYOffset), point.y)) {
    return true;
  }
  // Not in the columns: accept "x y" separated by any blanks.
  std::string_view rest = lib::trim(line);
  const std::size_t gap = rest.find_first_of(" \t");
  if (gap == std::string_view::npos) return false;
  return read_number(rest.substr(0, gap), point.x) && read_number(rest.substr(gap), point.y);
}

}  // namespace

std::string format(std::string_view identifier, const CalibrPoints& points) {
  std::string text;
  text += kEncodingKey;
  text += kUtf8Name;
  text += '\n';
  text += kNameKey;
  text += identifier;
  text += '\n';
  for (const UnitCalibrPoint& p : points) {
    char line[128];
    const int n = std::snprintf(line, sizeof line, kPointFormat, p.x, p.y);
    if (n > 0) text.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof line - 1)));
    text += '\n';
  }
  return text;
}

std::optional<Parsed> parse(std::string_view bytes) {
  const std::vector<std::string_view> lines = split_lines(bytes);
  std::size_t next = 0;
  // Files written before the encoding line existed are in the 8-bit code page.
  lib::StrEncConverter converter(lib::StringEnc::kCp1251);
  if (next < lines.size() && lines[next].starts_with(kEncodingKey)) {
    if (lines[next].substr(kEncodingKey.size()) == kUtf8Name) {
      converter.set_encoding(lib::StringEnc::kUtf8);
    }
    ++next;
  }
  if (next >= lines.size() || !lines[next].starts_with(kNameKey)) return std::nullopt;
  Parsed parsed;
  // Blanks around the identifier are an editor's leftovers (a stray CR, a trailing space):
  // no identifier has them, and kept they would not survive being written again.
  parsed.identifier = converter.to_utf8(lib::trim(lines[next].substr(kNameKey.size())));
  ++next;
  for (; next < lines.size(); ++next) {
    if (lib::trim(lines[next]).empty()) continue;
    UnitCalibrPoint point;
    if (read_point(lines[next], point)) {
      if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
        if (parsed.first_bad_line == 0) parsed.first_bad_line = static_cast<int>(next) + 1;
        continue;
      }
      parsed.points.push_back(point);
    } else {
      ++parsed.skipped_lines;
    }
  }
  return parsed;
}

}  // namespace params::calibration_file
