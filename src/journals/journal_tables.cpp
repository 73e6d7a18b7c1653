#include "journals/journal_tables.h"

#include <algorithm>

#include "lib/date_time.h"
#include "lib/options.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"

namespace journals {
namespace {

std::size_t display_width(const std::string& utf8) {
  std::size_t pos = 0, chars = 0;
  while (pos < utf8.size()) {
    lib::next_utf8_code_point(utf8, pos);
    ++chars;
  }
  return chars;
}

std::string one_line(const std::string& text) {
  return lib::normal_text_to_file(text);
}

std::string date_time_cell(lib::DateTime t) {
  return t.days == 0 ? std::string("-") : lib::format_date_time(t);
}

std::string key_cell(const JournalKey& key) {
  return std::to_string(key.low) + ":" + std::to_string(key.high);
}

}  // namespace

JournalTable remarks_table(const std::vector<text::Record>& records) {
  JournalTable t{{"#", "time", "kind", "size", "colour", "number", "text", "extra"}, {}};
  int n = 0;
  for (const auto& r : records) {
    t.rows.push_back({std::to_string(++n),
                      lib::format_date_time(lib::to_date_time(lib::LocalTime{r.time, 0})),
                      std::to_string(r.kind), std::to_string(r.size), lib::colour_to_str(r.colour),
                      std::to_string(r.number), one_line(r.text), one_line(r.extra)});
  }
  return t;
}

JournalTable troubles_table(const std::vector<TroublesLogRecord>& records,
                            const TroublesDict& dict) {
  JournalTable t{{"#", "key", "type", "start", "end", "value 1", "value 2", "value 3", "ids",
                  "v2 field", "text"},
                 {}};
  int n = 0;
  for (const auto& r : records) {
    const int type = dict.type_index_of_id(r.type_id);
    t.rows.push_back(
        {std::to_string(++n), key_cell(r.key),
         type < 0 ? std::to_string(r.type_id) : dict.types[static_cast<std::size_t>(type)].name,
         date_time_cell(r.start), date_time_cell(r.end), lib::float_to_str(r.value1),
         lib::float_to_str(r.value2), lib::float_to_str(r.value3),
         std::to_string(r.second_id) + "/" + std::to_string(r.third_id),
         std::to_string(r.version2_field), one_line(r.text)});
  }
  return t;
}

JournalTable mud_log_table(const std::vector<MudLogItem>& items) {
  JournalTable t{{"#", "key", "time", kMudTypeKey}, {}};
  for (const auto& m : kMudMeasurements) t.titles.push_back(m.key);
  int n = 0;
  for (const auto& item : items) {
    std::vector<std::string> row = {std::to_string(++n), key_cell(item.key),
                                    date_time_cell(item.time), one_line(item.mud_type)};
    for (double v : item.values) row.push_back(lib::float_to_str(v));
    t.rows.push_back(std::move(row));
  }
  return t;
}

JournalTable additives_table(const std::vector<MudAdditive>& items) {
  JournalTable t{{"#", "key", "text", "number", "start", "end"}, {}};
  int n = 0;
  for (const auto& a : items) {
    t.rows.push_back({std::to_string(++n), key_cell(a.key), one_line(a.text),
                      std::to_string(a.number), date_time_cell(a.start), date_time_cell(a.end)});
  }
  return t;
}

std::string format_table(const JournalTable& table) {
  std::vector<std::size_t> widths(table.titles.size(), 0);
  auto measure = [&](const std::vector<std::string>& row) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
      widths[c] = std::max(widths[c], display_width(row[c]));
  };
  measure(table.titles);
  for (const auto& row : table.rows) measure(row);
  std::string out;
  auto add_row = [&](const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const std::string cell = c < row.size() ? row[c] : std::string();
      line += cell;
      if (c + 1 < widths.size()) line += std::string(widths[c] - display_width(cell) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  };
  add_row(table.titles);
  for (const auto& row : table.rows) add_row(row);
  return out;
}

}  // namespace journals
