#include "params/param_text.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "lib/str_enc.h"

namespace params {
namespace {

// Characters, not bytes: what a terminal shows for the text.
std::size_t display_width(std::string_view utf8) {
  std::size_t width = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    lib::next_utf8_code_point(utf8, pos);
    ++width;
  }
  return width;
}

// Columns separated by two blanks, each as wide as its widest cell; no trailing blanks.
class TextTable {
 public:
  explicit TextTable(std::vector<std::string> titles) { rows_.push_back(std::move(titles)); }
  void add(std::vector<std::string> row) {
    row.resize(rows_.front().size());
    rows_.push_back(std::move(row));
  }
  std::string str() const {
    std::vector<std::size_t> widths(rows_.front().size(), 0);
    for (const auto& row : rows_)
      for (std::size_t c = 0; c < row.size(); ++c)
        widths[c] = std::max(widths[c], display_width(row[c]));
    std::string out;
    for (const auto& row : rows_) {
      std::string line;
      for (std::size_t c = 0; c < row.size(); ++c) {
        if (c > 0) line += "  ";
        line += row[c];
        if (c + 1 < row.size()) line.append(widths[c] - display_width(row[c]), ' ');
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out += line;
      out += '\n';
    }
    return out;
  }

 private:
  std::vector<std::vector<std::string>> rows_;
};

template <class T>
std::string num(T value) {
  char buf[32];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

const char* encoding_name(lib::StringEnc enc) {
  return enc == lib::StringEnc::kUtf8 ? "UTF-8" : "CP1251";
}

}  // namespace

std::string format_catalogue(const AllParams& catalogue, std::optional<int> group) {
  TextTable table({"№", "Идентификатор", "Название", "Кратко", "Ед.", "Группа"});
  for (int i = 0; i < catalogue.get_items_count(); ++i) {
    const DefaultParam& e = catalogue.at(i);
    if (group && e.group != *group) continue;
    table.add({num(i), e.identifier, e.full_name, e.short_name, e.unit,
               AllParams::get_group_name(e.group)});
  }
  return table.str();
}

std::string format_param_file(const param_file::ReadResult& file,
                              const extended_file::ReadResult* extended) {
  std::string out;
  if (file.refused) {
    out += "Файл не прочитан.\n";
  } else {
    out += "Версия " + num(file.version) + ", кодировка " + encoding_name(file.encoding) +
           ", строк " + num(file.rows.size()) + "\n\n";
    TextTable rows({"№", "Идентификатор", "Название", "Кратко", "Ед.", "Модуль", "Канал", "Тип",
                    "Осредн.", "Диап.", "Нуль", "Шкала", "Атр.", "Точки"});
    for (std::size_t i = 0; i < file.rows.size(); ++i) {
      const Param& p = file.rows[i];
      rows.add({num(i), p.identifier, p.full_name, p.short_name, p.unit, num(p.channel.module),
                num(p.channel.channel), num(p.channel.type), num(p.averaging), num(p.range),
                num(p.zero), num(p.scale_min) + " … " + num(p.scale_max),
                num(static_cast<int>(p.attribute)), num(p.points.size())});
    }
    out += rows.str();

    bool first_points = true;
    for (const Param& p : file.rows) {
      if (p.points.empty()) continue;
      if (first_points) out += '\n';
      first_points = false;
      out += "Точки калибровки " + p.identifier + ":";
      for (const UnitCalibrPoint& pt : p.points) out += " (" + num(pt.x) + "; " + num(pt.y) + ")";
      out += '\n';
    }

    out += "\nПараметры базы данных:";
    if (file.db_params.empty()) out += " нет";
    for (const std::string& id : file.db_params) out += " " + id;
    out += '\n';
  }

  if (extended) {
    // A companion whose rows carry nothing says so, as the database set does, rather than
    // ending in a bare heading.
    bool any = false;
    for (const auto& entry : extended->entries) any = any || !entry.info.empty();
    if (!extended->marked) {
      out += "\nФайл .extended не опознан.\n";
    } else {
      out += any ? "\nРасширенная информация:\n" : "\nРасширенная информация: нет\n";
    }
    for (const auto& entry : extended->entries) {
      if (entry.info.empty()) continue;
      out += "  " + entry.identifier + ":";
      for (const auto& [key, value] : entry.info.values()) out += " " + key + "=" + value + ";";
      out += '\n';
    }
  }

  const std::size_t problems = file.problems.size() + (extended ? extended->problems.size() : 0);
  if (problems > 0) {
    out += "\nПовреждения:\n";
    for (const std::string& p : file.problems) out += "  " + p + "\n";
    if (extended)
      for (const std::string& p : extended->problems) out += "  .extended: " + p + "\n";
  }
  return out;
}

}  // namespace params
