#include "instr/csv_text.h"

#include <charconv>
#include <cmath>

#include "lib/str_enc.h"
#include "lib/str_utils.h"

namespace instr::csv {

std::string decode_file_text(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (bytes.substr(0, kBom.size()) == kBom) bytes.remove_prefix(kBom.size());
  if (lib::is_valid_utf8(bytes)) return std::string(bytes);
  return lib::cp1251_to_utf8(bytes);
}

std::vector<Line> split_lines(std::string_view text) {
  std::vector<Line> lines;
  int number = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({++number, line});
    pos = end + 1;
  }
  return lines;
}

bool is_skipped_line(std::string_view line) {
  std::string_view t = lib::trim(line);
  return t.empty() || t.front() == '#';
}

char detect_separator(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return ';';
  if (line.find('\t') != std::string_view::npos) return '\t';
  return ',';
}

std::vector<std::string> split_fields(std::string_view line, char separator) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (true) {
    // Blanks before a field; a tab is not a blank when it separates.
    while (pos < line.size() && (line[pos] == ' ' || (line[pos] == '\t' && separator != '\t')))
      ++pos;
    std::string field;
    if (pos < line.size() && line[pos] == '"') {
      ++pos;
      while (pos < line.size()) {
        if (line[pos] == '"') {
          if (pos + 1 < line.size() && line[pos + 1] == '"') {
            field += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        field += line[pos++];
      }
      // Anything between the closing quote and the separator belongs to the field.
      std::size_t end = line.find(separator, pos);
      if (end == std::string_view::npos) end = line.size();
      field += lib::trim(line.substr(pos, end - pos));
      pos = end;
    } else {
      std::size_t end = line.find(separator, pos);
      if (end == std::string_view::npos) end = line.size();
      field = std::string(lib::trim(line.substr(pos, end - pos)));
      pos = end;
    }
    fields.push_back(std::move(field));
    if (pos >= line.size()) break;
    ++pos;  // the separator
    if (pos == line.size()) {
      fields.emplace_back();  // "a;" ends with an empty field
      break;
    }
  }
  return fields;
}

bool all_fields_empty(const std::vector<std::string>& fields) {
  for (const std::string& f : fields) {
    if (!f.empty()) return false;
  }
  return true;
}

std::string quote_field(std::string_view text, char separator) {
  bool needs =
      text.find(separator) != std::string_view::npos || text.find('"') != std::string_view::npos ||
      (!text.empty() &&
       (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' || text.back() == '\t'));
  if (!needs) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::optional<double> parse_number(std::string_view field) {
  double value = 0;
  if (lib::trim(field).empty() || !lib::try_str_to_float(field, value)) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<long long> parse_integer(std::string_view field) {
  std::string_view t = lib::trim(field);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  if (t.empty()) return std::nullopt;
  long long value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return value;
}

std::string float_text(float value) {
  if (value == 0.0f) return "0";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), value);
  if (ec != std::errc()) return lib::float_to_str(static_cast<double>(value));
  return std::string(buf, end);
}

}  // namespace instr::csv
