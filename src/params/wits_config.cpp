#include "params/wits_config.h"

#include "lib/str_enc.h"
#include "lib/str_utils.h"
#include "lib/string_container.h"
#include "params/wits_config_format.h"

namespace params::wits_config {
namespace {

std::string token(const lib::StringContainer& tokens, int index) {
  return static_cast<std::size_t>(index) < tokens.size() ? tokens[static_cast<std::size_t>(index)]
                                                         : std::string();
}

bool is_version_line(const lib::StringContainer& tokens, double& version) {
  return tokens.size() >= 2 && tokens[0] == kVersionToken &&
         lib::try_str_to_float(tokens[1], version);
}

}  // namespace

bool is_item_code(std::string_view code) {
  if (code.size() != kCodeDigits) return false;
  for (char c : code)
    if (c < '0' || c > '9') return false;
  return true;
}

std::vector<Line> parse(std::string_view bytes) {
  std::vector<Line> lines;
  lib::StrEncConverter converter(kLegacyEncoding);
  std::size_t start = 0;
  int number = 0;
  while (start < bytes.size()) {
    ++number;
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view raw = bytes.substr(start, end - start);
    start = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (lib::trim(raw).empty()) continue;

    Line line;
    line.text = converter.to_utf8(raw);
    lib::StringContainer tokens;
    tokens.set_spaced_text(line.text);
    double version = 0;
    if (is_version_line(tokens, version)) {
      if (version > 0) converter.set_encoding(kVersionedEncoding);
      continue;
    }
    line.identifier = token(tokens, kIdentifierToken);
    line.full_name = token(tokens, kFullNameToken);
    line.short_name = token(tokens, kShortNameToken);
    line.unit = token(tokens, kUnitToken);
    line.server = token(tokens, kServerToken);
    line.code = token(tokens, kCodeToken);
    line.line_number = number;
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace params::wits_config
