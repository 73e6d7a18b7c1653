#include "wits/wits_out_list.h"

#include <set>
#include <utility>

#include "wits/wits_out_format.h"

namespace wits {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string_view> split_blanks(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    const std::size_t from = i;
    while (i < line.size() && !is_blank(line[i])) ++i;
    if (i > from) tokens.push_back(line.substr(from, i - from));
  }
  return tokens;
}

bool four_digits(std::string_view code) {
  if (code.size() != out_format::kCodeDigits) return false;
  for (char c : code)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

OutList parse_out_list(std::string_view bytes, const std::string& file) {
  OutList out;
  std::set<std::pair<int, int>> codes;
  std::size_t start = 0;
  int number = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (const std::size_t hash = line.find(out_format::kComment); hash != std::string_view::npos)
      line = line.substr(0, hash);
    const auto tokens = split_blanks(line);
    if (tokens.empty()) continue;
    const std::string where = file + " line " + std::to_string(number) + ": ";
    if (tokens.size() != 2) {
      out.problems.push_back(where + "expected a parameter and a four-digit WITS code, found " +
                             std::to_string(tokens.size()) + " words; the line is skipped");
      continue;
    }
    if (!four_digits(tokens[1])) {
      out.problems.push_back(where + "the WITS code '" + std::string(tokens[1]) +
                             "' is not four decimal digits (record and item, such as 0114); "
                             "the line is skipped");
      continue;
    }
    OutEntry entry;
    entry.identifier = std::string(tokens[0]);
    entry.record = (tokens[1][0] - '0') * 10 + (tokens[1][1] - '0');
    entry.item = (tokens[1][2] - '0') * 10 + (tokens[1][3] - '0');
    if (!codes.insert({entry.record, entry.item}).second) {
      out.problems.push_back(where + "the WITS code " + std::string(tokens[1]) +
                             " is already given to an earlier line; the line is skipped");
      continue;
    }
    out.entries.push_back(std::move(entry));
  }
  return out;
}

}  // namespace wits
