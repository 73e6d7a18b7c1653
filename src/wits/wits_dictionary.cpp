#include "wits/wits_dictionary.h"

#include <charconv>

#include "wits/wits_dictionary_format.h"

namespace wits {

namespace {

// The fields of one CSV line; false when a quote is left open.
bool split_csv(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  fields.push_back(std::move(field));
  return !quoted;
}

bool small_number(const std::string& text, int& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && out >= 0 && out <= 99;
}

}  // namespace

WitsDictionary WitsDictionary::parse(std::string_view bytes, const std::string& file) {
  using namespace dictionary_format;
  WitsDictionary dict;
  std::vector<std::string> fields;
  std::size_t start = 0;
  int number = 0;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = file + " line " + std::to_string(number) + ": ";
    const bool closed = split_csv(line, fields);
    if (number == 1) {
      bool header = closed && fields.size() >= kColumns.size();
      for (std::size_t i = 0; header && i < kColumns.size(); ++i) header = fields[i] == kColumns[i];
      if (!header) {
        dict.problems_.push_back(where +
                                 "not a WITS dictionary: the first line must name the "
                                 "columns record,item,code,description,...; no item "
                                 "names are taken from it");
        return dict;
      }
      continue;
    }
    if (line.empty()) continue;
    int record = 0;
    int item = 0;
    if (!closed || fields.size() < kColumns.size() ||
        !small_number(fields[kRecordColumn], record) || !small_number(fields[kItemColumn], item)) {
      dict.problems_.push_back(where + "not a dictionary line (record and item 0..99 and " +
                               std::to_string(kColumns.size()) + " columns); the line is skipped");
      continue;
    }
    DictionaryItem entry;
    entry.description = fields[kDescriptionColumn];
    entry.mnemonic = fields[kShortMnemonicColumn];
    entry.unit = fields[kMetricUnitColumn];
    if (entry.unit.find_first_not_of(kNoUnitChar) == std::string::npos) entry.unit.clear();
    dict.items_[{record, item}] = std::move(entry);
  }
  return dict;
}

const DictionaryItem* WitsDictionary::find(int record, int item) const {
  const auto it = items_.find({record, item});
  return it == items_.end() ? nullptr : &it->second;
}

}  // namespace wits
