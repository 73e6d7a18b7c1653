#include "journals/remarks_file.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "lib/str_enc.h"
#include "lib/str_utils.h"
#include "lib/string_container.h"

namespace text {
namespace fmt = remarks_format;
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The text item: always quoted, inner quotes doubled, line breaks and backslashes escaped,
// so any text fits one line and the tokenizer gives it back whole.
std::string quoted_text_item(std::string_view text) {
  std::string out = "\"";
  for (char c : lib::normal_text_to_file(text)) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// The extra item is written as it is when it is one plain word, which is what other
// programs put there; otherwise escaped and quoted so it reads back unchanged.
std::string extra_item(std::string_view extra) {
  return lib::quoted_str(lib::normal_text_to_file(extra));
}

std::int32_t clamp_to_int32(long long v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// A colour as any program may have written it: 0..0xFFFFFFFF, or a negative 32-bit value
// (a system colour), kept bit for bit. Anything else gives the default white.
std::uint32_t parse_colour(const std::string& item) {
  const long long v = lib::str_to_int(item, LLONG_MIN);
  if (v >= INT32_MIN && v <= static_cast<long long>(UINT32_MAX)) {
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(v) & 0xFFFFFFFF);
  }
  return fmt::kDefaultColour;
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string format_remark_line(const Record& r) {
  std::string line = fmt::kLineStart;
  line += ' ' + std::to_string(r.time);
  line += ' ' + std::to_string(r.kind);
  line += ' ' + quoted_text_item(r.text);
  line += ' ';
  line += fmt::kAfterText;
  line += ' ' + std::to_string(r.size);
  line += ' ' + std::to_string(r.colour);
  line += ' ' + std::to_string(r.number);
  if (!r.extra.empty()) line += ' ' + extra_item(r.extra);
  return line;
}

std::string write_remarks_file(const std::vector<Record>& records) {
  std::string out = std::string(fmt::kEncodingPrefix) + fmt::kEncodingUtf8 + "\n";
  out += std::string(fmt::kVersionPrefix) + std::to_string(fmt::kVersion) + "\n";
  for (const auto& r : records) out += format_remark_line(r) + "\n";
  return out;
}

std::optional<Record> parse_remark_line(std::string_view line, std::string& problem) {
  lib::StringContainer items;
  items.set_spaced_text(line);
  const int n = static_cast<int>(items.size());
  if (n < fmt::kMinItems) {
    // An unclosed quote swallows the rest of the line into the text, which is why the
    // items run short; say so, it is what the operator will want to fix.
    const auto quotes = std::count(line.begin(), line.end(), '"');
    problem = quotes % 2 != 0 ? "the quoted text never closes"
                              : "only " + std::to_string(n) + " items, a remark has at least " +
                                    std::to_string(fmt::kMinItems);
    return std::nullopt;
  }
  auto item = [&](int i) -> const std::string& { return items[static_cast<std::size_t>(i)]; };

  const long long time = lib::str_to_int(item(fmt::kTimeItem), -1);
  if (time < 0 || time > static_cast<long long>(UINT32_MAX)) {
    problem = "time '" + item(fmt::kTimeItem) + "' is not a number of seconds";
    return std::nullopt;
  }
  Record r;
  r.time = static_cast<std::uint32_t>(time);
  r.kind = clamp_to_int32(lib::str_to_int(item(fmt::kKindItem), 0));
  r.text = lib::file_text_to_normal(item(fmt::kTextItem));
  r.size = clamp_to_int32(lib::str_to_int(item(fmt::kSizeItem), 0));
  if (r.size < 1) r.size = fmt::kDefaultSize;

  long long number = 0;
  if (n < fmt::kFullLayoutItems) {
    r.colour = fmt::kDefaultColour;
    if (n > fmt::kOldNumberItem) number = lib::str_to_int(item(fmt::kOldNumberItem), 0);
  } else {
    r.colour = parse_colour(item(fmt::kColourItem));
    number = lib::str_to_int(item(fmt::kNumberItem), 0);
    std::string extra;
    for (int i = fmt::kExtraItem; i < n; ++i) {
      if (i > fmt::kExtraItem) extra += ' ';
      extra += item(i);
    }
    r.extra = lib::file_text_to_normal(extra);
  }
  r.number = number < 0 ? 0 : clamp_to_int32(number);
  return r;
}

RemarksFileContent read_remarks_file(std::string_view bytes) {
  RemarksFileContent content;
  if (starts_with(bytes, kUtf8Bom)) {
    bytes.remove_prefix(kUtf8Bom.size());
    content.utf8 = true;
  }
  std::size_t line_no = 0;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view raw = bytes.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    const std::string line = content.utf8 ? lib::StrEncConverter(lib::StringEnc::kUtf8).to_utf8(raw)
                                          : lib::cp1251_to_utf8(raw);
    const std::string_view trimmed = lib::trim(line);
    if (trimmed.empty()) continue;
    if (starts_with(trimmed, fmt::kEncodingPrefix)) {
      if (trimmed.substr(std::string_view(fmt::kEncodingPrefix).size()) == fmt::kEncodingUtf8) {
        content.utf8 = true;
      }
      continue;
    }
    if (starts_with(trimmed, fmt::kVersionPrefix)) {
      const std::string_view value = trimmed.substr(std::string_view(fmt::kVersionPrefix).size());
      content.version = clamp_to_int32(lib::str_to_int(value, 0));
      if (content.version > fmt::kVersion) {
        content.problems.push_back(
            "line " + std::to_string(line_no) + ": version " + std::string(value) +
            " is newer than " + std::to_string(fmt::kVersion) + "; its lines are read as version " +
            std::to_string(fmt::kVersion));
      }
      continue;
    }
    std::string problem;
    if (auto record = parse_remark_line(trimmed, problem)) {
      content.records.push_back(std::move(*record));
    } else {
      content.problems.push_back("line " + std::to_string(line_no) + ": " + problem);
    }
  }
  return content;
}

}  // namespace text
