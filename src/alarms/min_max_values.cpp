#include "alarms/min_max_values.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "alarms/threshold_line.h"
#include "lib/ident.h"
#include "lib/str_utils.h"

namespace alarms {

namespace {

// Kind names as the editor shows them; a kind without one shows only its number.
const char* kind_name(int kind) {
  switch (kind) {
    case kKindSound:
      return "Сигнал";
    case kKindRelay:
      return "Реле";
    case kKindText:
      return "Текст";
    case kKindSms:
      return "СМС";
    default:
      return "";
  }
}

// The index of an "item<N>" key, N written without sign or leading zeros; -1 otherwise.
long long item_index(std::string_view key) {
  const std::size_t prefix = std::char_traits<char>::length(kItemKeyPrefix);
  if (key.size() <= prefix || !lib::ident_equal(key.substr(0, prefix), kItemKeyPrefix)) return -1;
  const std::string_view digits = key.substr(prefix);
  if (digits.size() > 1 && digits.front() == '0') return -1;
  if (digits.size() > 18) return -1;
  long long n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

MinMaxValues::MinMaxValues(std::string section)
    : SerialModuleBase(section, kStateVersion), section_(std::move(section)) {}

MinMaxValues::MinMaxValues(const MinMaxValues& other)
    : SerialModuleBase(other.section_, kStateVersion), section_(other.section_) {
  *this = other;
}

MinMaxValues& MinMaxValues::operator=(const MinMaxValues& other) {
  if (this == &other) return *this;
  Items rebuilt;
  rebuilt.reserve(other.items_.size());
  for (const auto& item : other.items_) {
    auto copy = create(item->get_kind());
    copy->read_from_ini_line(kCurrentLineVersion, item->get_ini_line());
    rebuilt.push_back(std::move(copy));
  }
  items_ = std::move(rebuilt);
  return *this;
}

void MinMaxValues::set_defaults() {
  // -123: the constructor takes a limit of zero or below as "no lower limit".
  constexpr float kNoMin = -123;
  clear();
  add(std::make_unique<MinMaxValue>("давление_на_входе", kNoMin, 200.0f));
  add(std::make_unique<MinMaxValue>("уровень_в_емкости", kNoMin, 1.9f));
  add(std::make_unique<MinMaxValue>("плотность_на_входе", kNoMin, 1.99f));
  add(std::make_unique<MinMaxValue>("момент_ротора", kNoMin, 20.0f));
  add(std::make_unique<MinMaxValue>("нагрузка", kNoMin, 30.0f));
  add(std::make_unique<MinMaxValue>("скорость_спо", kNoMin, 10.0f));
  add(std::make_unique<MinMaxValue>("сумм_газ", kNoMin, 1.0f));
  add(std::make_unique<MinMaxValue>("сумм_газ2", kNoMin, 1.0f));
}

namespace {

// What an empty text of an earlier build can come back as (threshold_line.h).
bool quotes_only(const std::string& text) {
  return !text.empty() && text.find_first_not_of('"') == std::string::npos;
}

}  // namespace

std::unique_ptr<MinMaxValue> MinMaxValues::create(int kind) {
  switch (kind) {
    case kKindRelay:
      return std::make_unique<MinMaxRelayValue>();
    case kKindSms:
      return std::make_unique<MinMaxSMSValue>();
    case kKindDepthInterval:
      return std::make_unique<MinMaxRTKValue>();
    default:
      return std::make_unique<MinMaxValue>();
  }
}

std::unique_ptr<MinMaxValue> MinMaxValues::from_current_line(int version, const std::string& line,
                                                             std::string* note) {
  const lib::StringContainer items = decode_threshold_line(line).items;
  const long long kind = items.empty() ? kNoKind : lib::str_to_int(items[line_v1::kKind], kNoKind);
  if (kind == kNoKind) {
    if (note) *note = "no threshold kind, line skipped";
    return nullptr;
  }
  if (note && kind != kKindSound && kind != kKindRelay && kind != kKindText && kind != kKindSms &&
      kind != kKindDepthInterval) {
    *note = "unknown kind " + std::to_string(kind) + ", read as a sound threshold";
  }
  const int k = kind >= std::numeric_limits<int>::min() && kind <= std::numeric_limits<int>::max()
                    ? static_cast<int>(kind)
                    : kKindSound;
  auto item = create(k);
  item->read_from_ini_line(version, line);
  return item;
}

std::vector<std::string> MinMaxValues::load(const lib::IniFile& ini) {
  std::vector<std::string> problems;
  const long long size = ini.get_int(section_, kSizeKey, -1);
  if (size == -1) {
    if (ini.has_section(section_)) {
      problems.push_back("[" + section_ + "]: no readable \"size\", the list is kept as it was");
    }
    return problems;
  }
  if (size < 0) {
    problems.push_back("[" + section_ + "]: size " + std::to_string(size) + " read as 0");
  }
  const long long version = ini.get_int(section_, kVersionKey, 0);
  const int line_version = version == 0 ? 0 : kCurrentLineVersion;

  // Only the item keys present are visited: a missing line makes nothing, and a huge "size"
  // costs nothing. Lines are taken in the order of their numbers, as the writer numbered them.
  std::vector<std::pair<long long, std::string>> lines;
  for (const std::string& key : ini.keys(section_)) {
    const long long i = item_index(key);
    if (i < 0) continue;
    if (i >= size) {
      problems.push_back("[" + section_ + "] " + key + ": beyond size " + std::to_string(size) +
                         ", skipped");
      continue;
    }
    lines.emplace_back(i, ini.get_string(section_, key));
  }
  std::sort(lines.begin(), lines.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

  Items loaded;
  for (const auto& [index, line] : lines) {
    const std::string where = "[" + section_ + "] " + kItemKeyPrefix + std::to_string(index) + ": ";
    if (line_version == 0) {
      lib::StringContainer items = decode_threshold_line(line).items;
      if (items.empty()) {
        problems.push_back(where + "empty line skipped");
        continue;
      }
      while (items.size() < line_v0::kItems) items.add("");
      auto plain = std::make_unique<MinMaxValue>();
      plain->read_from_ini_line(0, line);
      loaded.push_back(std::move(plain));
      if (lib::str_to_int(items[line_v0::kRelayChannel], kNoRelayChannel) != kNoRelayChannel) {
        auto relay = std::make_unique<MinMaxRelayValue>();
        relay->read_from_ini_line(0, line);
        loaded.push_back(std::move(relay));
      }
      continue;
    }
    std::string note;
    auto item = from_current_line(line_version, line, &note);
    if (!note.empty()) problems.push_back(where + note);
    if (!item) continue;
    if (quotes_only(item->get_param())) {
      problems.push_back(where + "the parameter name is only quote characters (an empty name " +
                         "saved by an earlier build?); kept as read, check it in the editor");
    }
    if (const auto* sms = dynamic_cast<const MinMaxSMSValue*>(item.get());
        sms && quotes_only(sms->get_phones())) {
      problems.push_back(where + "the phones are only quote characters (an empty list saved " +
                         "by an earlier build?); kept as read, check them in the editor");
    }
    loaded.push_back(std::move(item));
  }
  items_ = std::move(loaded);
  return problems;
}

void MinMaxValues::save(lib::IniFile& ini) const {
  ini.delete_section(section_);
  ini.set_int(section_, kSizeKey, static_cast<long long>(items_.size()));
  ini.set_int(section_, kVersionKey, kCurrentLineVersion);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    ini.set_string(section_, kItemKeyPrefix + std::to_string(i), items_[i]->get_ini_line());
  }
}

const MinMaxValue* MinMaxValues::find(std::string_view name) const {
  for (const auto& item : items_) {
    if (item->have_param(name)) return item.get();
  }
  return nullptr;
}

MinMaxValue* MinMaxValues::find(std::string_view name) {
  return const_cast<MinMaxValue*>(std::as_const(*this).find(name));
}

void MinMaxValues::add(std::string name) {
  items_.push_back(std::make_unique<MinMaxValue>(std::move(name), 0.0f, 0.0f));
}

void MinMaxValues::add(std::unique_ptr<MinMaxValue> item) {
  if (item) items_.push_back(std::move(item));
}

bool MinMaxValues::erase(std::size_t pos) {
  if (pos >= items_.size()) return false;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(pos));
  return true;
}

std::string MinMaxValues::get_type_string(int kind) {
  return std::to_string(kind) + "(" + kind_name(kind) + ")";
}

// ---- grid ------------------------------------------------------------------------------

std::vector<std::string> MinMaxValues::grid_titles() {
  // The "c" of "Макc." is a Latin letter, as the editor has always shown it.
  return {"()Название\nпараметра", "Мин.\nзначение", "Макc.\nзначение", "Тип\nоповещения",
          "Данные"};
}

void MinMaxValues::fill_to_grid(lib::TextGrid& grid) const {
  grid = lib::TextGrid(grid_titles());
  grid.set_data_row_count(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) update_grid_item(grid, i);
}

bool MinMaxValues::update_grid_item(lib::TextGrid& grid, std::size_t index) const {
  if (index >= items_.size()) return false;
  const MinMaxValue& item = *items_[index];
  const std::size_t row = index + 1;
  grid.set_cell(row, kGridColName, item.get_param());
  grid.set_cell(row, kGridColMin, item.min_cell_text());
  grid.set_cell(row, kGridColMax, item.max_cell_text());
  grid.set_cell(row, kGridColKind, get_type_string(item.get_kind()));
  grid.set_cell(row, kGridColData, item.get_data_string());
  return true;
}

void MinMaxValues::read_from_grid(const lib::TextGrid& grid) {
  Items read;
  for (std::size_t row = 1; row < grid.row_count(); ++row) {
    if (lib::trim(grid.cell(row, kGridColName)).empty()) continue;
    const std::string& kind_text = grid.cell(row, kGridColKind);
    const std::size_t paren = kind_text.find('(');
    const long long kind = lib::str_to_int(kind_text.substr(0, paren), kKindSound);
    auto item =
        create(kind >= 0 && kind <= kKindDepthInterval ? static_cast<int>(kind) : kKindSound);
    item->read_from_grid_line(grid, row);
    read.push_back(std::move(item));
  }
  items_ = std::move(read);
}

lib::StringContainer MinMaxValues::grid_popup_strings(std::size_t col) {
  lib::StringContainer choices;
  if (col != kGridColKind) return choices;
  for (int kind : {kKindSound, kKindRelay, kKindText, kKindSms, kKindDepthInterval}) {
    choices.add(get_type_string(kind), kind);
  }
  return choices;
}

// ---- state ------------------------------------------------------------------------------

void MinMaxValues::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  // The state keeps the INI lines, so both stores share one reader.
  if (!list.reading()) {
    std::vector<std::string> lines;
    lines.reserve(items_.size());
    for (const auto& item : items_) lines.push_back(item->get_ini_line());
    list.add(lines);
    return;
  }
  std::vector<std::string> lines;
  list.add(lines);
  Items read;
  for (const std::string& line : lines) {
    if (auto item = from_current_line(kCurrentLineVersion, line, nullptr)) {
      read.push_back(std::move(item));
    }
  }
  items_ = std::move(read);
}

}  // namespace alarms
