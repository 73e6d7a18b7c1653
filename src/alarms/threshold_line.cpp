#include "alarms/threshold_line.h"

#include <optional>
#include <vector>

#include "lib/str_utils.h"

namespace alarms {

namespace {

// The blanks lib::trim drops, which the comma-text reader skips around items.
bool is_blank_char(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Strict comma-text split: nullopt when a quoted item is not closed or has text after its
// closing quote, or an unquoted item holds a quote.
std::optional<std::vector<std::string>> strict_items(std::string_view text) {
  std::vector<std::string> items;
  if (lib::trim(text).empty()) return items;
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && is_blank_char(text[i])) ++i;
    std::string item;
    if (i < text.size() && text[i] == '"') {
      bool closed = false;
      for (++i; i < text.size(); ++i) {
        if (text[i] != '"') {
          item.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
          item.push_back('"');
          ++i;
        } else {
          closed = true;
          ++i;
          break;
        }
      }
      if (!closed) return std::nullopt;
      while (i < text.size() && is_blank_char(text[i])) ++i;
      if (i < text.size() && text[i] != ',') return std::nullopt;
    } else {
      std::size_t comma = text.find(',', i);
      if (comma == std::string_view::npos) comma = text.size();
      const std::string_view raw = text.substr(i, comma - i);
      if (raw.find('"') != std::string_view::npos) return std::nullopt;
      item = std::string(lib::trim(raw));
      i = comma;
    }
    items.push_back(std::move(item));
    if (i >= text.size()) break;
    ++i;  // the comma
  }
  return items;
}

bool all_quote_runs_even(std::string_view text) {
  std::size_t run = 0;
  for (char c : text) {
    if (c == '"') {
      ++run;
    } else {
      if (run % 2 != 0) return false;
      run = 0;
    }
  }
  return run % 2 == 0;
}

std::string halve_quotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '"') ++i;  // runs are even here, so the partner is always there
  }
  return out;
}

std::string_view strip_outer_pair(std::string_view line) {
  line = lib::trim(line);
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
    return line.substr(1, line.size() - 2);
  }
  return line;
}

}  // namespace

std::string encode_threshold_line(const lib::StringContainer& items) {
  return "\"" + items.comma_text() + "\"";
}

DecodedLine decode_threshold_line(std::string_view line) {
  const std::string_view inner = strip_outer_pair(line);
  DecodedLine out;
  if (inner.find('"') != std::string_view::npos && all_quote_runs_even(inner)) {
    const std::string halved = halve_quotes(inner);
    // A line that reads well in the current form is taken in it, so every line this
    // program writes reads back exactly.
    if (!strict_items(inner) && strict_items(halved)) {
      out.items.set_comma_text(halved);
      out.form = LineForm::kDoubled;
      return out;
    }
  }
  out.items.set_comma_text(inner);
  return out;
}

}  // namespace alarms
