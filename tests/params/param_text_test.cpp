// The text views printed by the station's tools: aligned columns and nothing left out.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "file_builder.h"
#include "lib/str_enc.h"
#include "params/param_text.h"
#include "support/fakes.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Character position where `needle` starts in a UTF-8 line.
std::size_t column_of(const std::string& line, const std::string& needle) {
  const std::size_t byte = line.find(needle);
  if (byte == std::string::npos) return std::string::npos;
  std::size_t chars = 0;
  for (std::size_t pos = 0; pos < byte;) {
    lib::next_utf8_code_point(line, pos);
    ++chars;
  }
  return chars;
}

TEST(ParamText, CatalogueColumnsLineUpAndGroupFilters) {
  testing_support::TempDir home;
  params::AllParams catalogue(home.path(), lib::posix_file_system());
  const auto all = lines_of(params::format_catalogue(catalogue));
  ASSERT_EQ(all.size(), 262u);  // title and one line per entry
  EXPECT_EQ(column_of(all[1], "Вес на крюке"), column_of(all[0], "Название"));
  EXPECT_EQ(column_of(all[261], "Применяемая"), column_of(all[0], "Название"));
  EXPECT_EQ(column_of(all[1], "ТИ"), column_of(all[0], "Группа"));

  const auto gas = lines_of(params::format_catalogue(catalogue, 6));
  ASSERT_EQ(gas.size(), 5u);
  EXPECT_NE(gas[1].find("дифф_плотность"), std::string::npos);
  EXPECT_NE(gas[4].find("Дифференциальные"), std::string::npos);
  EXPECT_EQ(lines_of(params::format_catalogue(catalogue, 8)).size(), 1u);
}

TEST(ParamText, FileViewShowsRowsPointsSetExtensionAndDamage) {
  params_test::FileBuilder f;
  f.header(4).row({"Вес на крюке", "W кр.", "т", "вес_на_крюке", 0, 20, 0, 0, 200, 1, 0, 3, 0});
  f.end_rows().calibration(0, {{0, 0}, {5, 100}}).end_calibration().db_set({"метан1"});
  params_test::ExtendedBuilder e;
  e.str("EXT_NBL_FILE").i32(2).entry("вес_на_крюке", {{"wits", "0108"}});
  const auto file = params::param_file::read(f.bytes(), 512);
  const auto ext = params::extended_file::read(e.bytes(), file.encoding);
  const std::string text = params::format_param_file(file, &ext);
  for (const char* part :
       {"Версия 4, кодировка UTF-8, строк 1", "Вес на крюке", "0 … 200",
        "Точки калибровки вес_на_крюке: (0; 0) (5; 100)", "Параметры базы данных: метан1",
        "вес_на_крюке: wits=0108;", "Повреждения:", ".extended: "}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  params::param_file::ReadResult refused;
  refused.refused = true;
  refused.problems = {"file version 9 is not one this program reads"};
  const std::string none = params::format_param_file(refused, nullptr);
  EXPECT_NE(none.find("Файл не прочитан."), std::string::npos);
  EXPECT_NE(none.find("version 9"), std::string::npos);
}

}  // namespace
