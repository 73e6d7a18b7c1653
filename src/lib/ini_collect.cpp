#include "lib/ini_collect.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "lib/ident.h"

namespace lib {

namespace {

constexpr const char* kCountKey = "count";

}  // namespace

std::vector<std::string> IniCollectModule::load(const IniFile& ini) {
  std::vector<std::string> issues;
  const std::string where = "[" + section_ + "] ";

  struct Line {
    long long number;
    std::string key;
  };
  std::vector<Line> lines;
  std::optional<long long> count;
  for (const std::string& key : ini.keys(section_)) {
    if (ident_equal(key, kCountKey)) {
      count = parse_ini_int(ini.get_string(section_, key));
      if (!count) issues.push_back(where + "count is not a number, lines read by number");
      continue;
    }
    const auto n = parse_ini_int(key);
    if (!n || *n < 1) {
      issues.push_back(where + "key \"" + key + "\" is not a line number, ignored");
      continue;
    }
    lines.push_back({*n, key});
  }
  // Keys come in file order; the list order is the order of the line numbers.
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.number < b.number; });
  if (count && *count != static_cast<long long>(lines.size())) {
    issues.push_back(where + "count is " + std::to_string(*count) + " but " +
                     std::to_string(lines.size()) + " lines were found");
  }

  clear_items();
  for (const Line& line : lines) {
    const std::string text = ini.get_string(section_, line.key);
    StringContainer fields;
    fields.set_comma_text(text);
    std::string reason;
    bool taken = false;
    try {
      taken = add_item_from_fields(fields, reason);
    } catch (const std::exception& e) {
      reason = e.what();
    }
    if (!taken) {
      if (reason.empty()) reason = "refused";
      issues.push_back(where + "line " + line.key + " skipped (" + reason + "): " + text);
    }
  }
  return issues;
}

void IniCollectModule::save(IniFile& ini) const {
  // Deleting key by key, not the section, keeps the section where it is in the file.
  for (const std::string& key : ini.keys(section_)) ini.delete_key(section_, key);
  const std::size_t n = item_count();
  ini.set_int(section_, kCountKey, static_cast<long long>(n));
  for (std::size_t i = 0; i < n; ++i) {
    StringContainer fields;
    item_to_fields(i, fields);
    ini.set_string(section_, std::to_string(i + 1), fields.comma_text());
  }
}

std::vector<std::string> IniCollectModule::load_from_file(const std::string& path, FileSystem& fs) {
  IniFile ini;
  try {
    ini.load_file(path, fs);
  } catch (const IniError& e) {
    return {e.what()};
  }
  return load(ini);
}

void IniCollectModule::save_to_file(const std::string& path, FileSystem& fs) const {
  IniFile ini;
  ini.load_file(path, fs);
  save(ini);
  ini.save_file(path, fs);
}

}  // namespace lib
