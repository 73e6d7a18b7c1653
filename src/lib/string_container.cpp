#include "lib/string_container.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "lib/str_utils.h"

namespace lib {

namespace {

constexpr bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads a quoted run starting at text[pos] == '"', undoubling "" pairs, and returns the
// position after the closing quote. Without a closing quote the run takes the rest of the
// text, so a damaged line still yields its content instead of an error.
std::size_t read_quoted(std::string_view text, std::size_t pos, std::string& out) {
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    if (text[i] != '"') {
      out.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      out.push_back('"');
      ++i;
    } else {
      return i + 1;
    }
  }
  return text.size();
}

std::string join_quoted(const std::vector<StringContainer::Item>& items, char sep) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out.push_back(sep);
    out += quoted_str(items[i].text);
  }
  return out;
}

}  // namespace

StringContainer::StringContainer(std::initializer_list<std::string> texts) {
  items_.reserve(texts.size());
  for (const auto& t : texts) items_.push_back(Item{t, 0});
}

void StringContainer::add(std::string text, std::int64_t tag) {
  items_.push_back(Item{std::move(text), tag});
}

int StringContainer::index_of(std::string_view text) const {
  // The result is an int; items past INT_MAX are out of its reach and count as absent.
  const std::size_t n = std::min<std::size_t>(items_.size(), INT_MAX);
  for (std::size_t i = 0; i < n; ++i) {
    if (items_[i].text == text) return static_cast<int>(i);
  }
  return -1;
}

int StringContainer::index_of_tag(std::int64_t tag) const {
  const std::size_t n = std::min<std::size_t>(items_.size(), INT_MAX);
  for (std::size_t i = 0; i < n; ++i) {
    if (items_[i].tag == tag) return static_cast<int>(i);
  }
  return -1;
}

std::string StringContainer::comma_text() const {
  return join_quoted(items_, ',');
}

void StringContainer::set_comma_text(std::string_view text) {
  items_.clear();
  // Blank text is no items; a single empty item is written as "" and so stays distinct.
  if (trim(text).empty()) return;

  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && is_blank(text[i])) ++i;
    std::string field;
    std::size_t rest = i;
    if (i < text.size() && text[i] == '"') rest = read_quoted(text, i, field);
    // Unquoted text, or whatever follows a closing quote, runs to the next comma; blanks
    // around it are layout, not content.
    std::size_t comma = text.find(',', rest);
    if (comma == std::string_view::npos) comma = text.size();
    field += trim(text.substr(rest, comma - rest));
    add(std::move(field));
    if (comma >= text.size()) break;
    i = comma + 1;
  }
}

std::string StringContainer::spaced_text() const {
  return join_quoted(items_, ' ');
}

void StringContainer::set_spaced_text(std::string_view text) {
  items_.clear();
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i >= text.size()) break;
    std::string token;
    if (text[i] == '"') i = read_quoted(text, i, token);
    // Characters glued to a closing quote belong to the same token.
    const std::size_t start = i;
    while (i < text.size() && !is_blank(text[i])) ++i;
    token.append(text.substr(start, i - start));
    add(std::move(token));
  }
}

std::vector<double> StringContainer::to_floats() const {
  std::vector<double> out;
  out.reserve(items_.size());
  for (const auto& item : items_) out.push_back(str_to_float(item.text));
  return out;
}

}  // namespace lib
