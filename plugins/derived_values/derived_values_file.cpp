#include "derived_values_file.h"

#include <cstring>

#include "derived_values_format.h"

namespace derived_values {
namespace {

std::string_view trim(std::string_view text) {
  const char* blanks = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string line_problem(int line, const char* what) {
  return "строка " + std::to_string(line) + ": " + what;
}

}  // namespace

ParsedFile parse_definitions(std::string_view text) {
  ParsedFile parsed;
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(std::strlen(kUtf8Bom));
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;

    const std::string_view line = trim(raw);
    if (line.empty() || std::strchr(kCommentChars, line.front()) != nullptr ||
        line.front() == kSectionOpen) {
      continue;
    }
    if (line.find('\0') != std::string_view::npos) {
      parsed.problems.push_back(line_problem(number, "недопустимый символ в строке"));
      continue;
    }
    const std::size_t eq = line.find(kSeparator);
    if (eq == std::string_view::npos) {
      parsed.problems.push_back(line_problem(number, "нет знака '=' между именем и формулой"));
      continue;
    }
    const std::string_view name = trim(line.substr(0, eq));
    const std::string_view formula = trim(line.substr(eq + 1));
    if (name.empty()) {
      parsed.problems.push_back(line_problem(number, "пустое имя"));
    } else if (formula.empty()) {
      parsed.problems.push_back(line_problem(number, "пустая формула"));
    } else {
      parsed.definitions.push_back({std::string(name), std::string(formula), number});
    }
  }
  return parsed;
}

}  // namespace derived_values
