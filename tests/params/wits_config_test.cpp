// Mapping table rows to a WITS server from a configuration file, and its load report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/str_enc.h"
#include "params/all_params.h"
#include "params/par_tabl.h"
#include "support/fakes.h"

namespace {

using params::ParTabl;
using Report = std::vector<std::string>;

class WitsConfigTest : public ::testing::Test {
 protected:
  testing_support::TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  std::vector<std::string> log;
  ParTabl table{catalogue, {[this](const std::string& m) { log.push_back(m); }, {}, nullptr}};
};

TEST_F(WitsConfigTest, AddsMissingRowsAndReportsThem) {
  table.add("вес_на_крюке");
  const std::string config =
      "#version 1\n"
      "вес_на_крюке \"Вес по WITS\" Wкр т\n"
      "\n"
      "нагрузка \"\" \"\" \"\" ЗТС-2\n"
      "нет_в_каталоге А Б В\n";
  const Report report = table.apply_wits_config(config, "ЗТС-1", true);
  EXPECT_EQ(report, (Report{"вес_на_крюке \"Вес по WITS\" Wкр т Вес по WITS изменен",
                            "нагрузка \"\" \"\" \"\" ЗТС-2 Нагрузка на долото добавлен"}));
  ASSERT_EQ(table.get_items_count(), 2);

  const params::Param& hook = table[0];
  EXPECT_EQ(hook.full_name + "|" + hook.short_name + "|" + hook.unit, "Вес по WITS|Wкр|т");
  EXPECT_EQ(hook.channel, params::USOChannel(0, 0, params::kChannelWits));
  EXPECT_EQ(hook.ext_info.get("wits"), "вес_на_крюке \"Вес по WITS\" Wкр т");
  EXPECT_EQ(hook.ext_info.get("wits_server"), "ЗТС-1");

  // Empty tokens keep the catalogue's names; the line's own server wins.
  const params::Param& load = table[1];
  EXPECT_EQ(load.full_name, "Нагрузка на долото");
  EXPECT_EQ(load.short_name, "Нагр.");
  EXPECT_EQ(load.ext_info.get("wits_server"), "ЗТС-2");
  EXPECT_EQ(load.channel.type, params::kChannelWits);
}

TEST_F(WitsConfigTest, WithoutAddingOnlyRowsWithoutADeviceAreRemapped) {
  table.add("вес_на_крюке");  // channel 0: fed by the field bus
  table.add("тальблок");      // no device channel
  const Report report =
      table.apply_wits_config(lib::utf8_to_cp1251("вес_на_крюке\nтальблок\nнагрузка\n"), "", false);
  EXPECT_EQ(report, (Report{"тальблок Положение тальблока изменен"}));
  EXPECT_EQ(table.get_items_count(), 2);
  EXPECT_EQ(table[0].channel.type, 0);
  EXPECT_TRUE(table[0].ext_info.empty());
  EXPECT_EQ(table[1].channel.channel, 0);
  EXPECT_EQ(table[1].channel.type, 3);
  EXPECT_EQ(table[1].ext_info.get("wits"), "тальблок");
  // No server given anywhere: none recorded.
  EXPECT_EQ(table[1].ext_info.get("wits_server"), "");
  // Once mapped, the row has a channel and is left alone by a second pass.
  EXPECT_TRUE(table.apply_wits_config(lib::utf8_to_cp1251("тальблок Другое\n"), "", false).empty());
  EXPECT_EQ(table[1].full_name, "Положение тальблока");
}

TEST_F(WitsConfigTest, FilesAreInTheCodePageUntilAVersionLine) {
  table.add("тальблок");
  table.add("нагрузка");
  const std::string bytes =
      lib::utf8_to_cp1251("тальблок Блок\r\n") + "#version 2\r\n" + "нагрузка Нагрузка\r\n";
  const std::string file = home.file("wits.cfg");
  lib::write_file_atomically(file, bytes, lib::posix_file_system());
  const Report report = table.load_wits_config(file, "S", false);
  EXPECT_EQ(report, (Report{"тальблок Блок Блок изменен", "нагрузка Нагрузка Нагрузка изменен"}));
  EXPECT_EQ(table[0].full_name, "Блок");
  // Version 0 keeps the code page.
  table[0].channel.type = 0;
  table[0].channel.channel = -1;
  const std::string v0 = "#version 0\n" + lib::utf8_to_cp1251("тальблок Блок0\n");
  EXPECT_EQ(table.apply_wits_config(v0, "", false).size(), 1u);
  EXPECT_EQ(table[0].full_name, "Блок0");
}

TEST_F(WitsConfigTest, TheSixthTokenIsTheItemCodeAndABadCodeSkipsItsLineWithALogLine) {
  table.add("тальблок");
  table.add("нагрузка");
  table.add("давление_на_входе");
  const std::string file = home.file("codes.cfg");
  const std::string bytes =
      "#version 1\n"
      "тальблок \"\" \"\" \"\" \"\" 0108\n"
      // A file of the five-token layout still maps its row, without a code.
      "нагрузка Нагрузка Нагр т ЗТС\n"
      "давление_на_входе \"\" \"\" \"\" ЗТС 01x1\n"
      "давление_на_входе \"\" \"\" \"\" ЗТС 121\n";
  lib::write_file_atomically(file, bytes, lib::posix_file_system());
  const Report report = table.load_wits_config(file, "", true);
  EXPECT_EQ(report.size(), 2u);
  EXPECT_EQ(table[0].ext_info.get("wits_code"), "0108");
  EXPECT_EQ(table[0].channel.type, params::kChannelWits);
  EXPECT_EQ(table[1].ext_info.get("wits_code"), "");
  EXPECT_EQ(table[1].ext_info.get("wits_server"), "ЗТС");
  EXPECT_EQ(table[1].channel.type, params::kChannelWits);
  // Both lines for the pressure are refused: its row stays on the bus as it was.
  EXPECT_EQ(table[2].channel.type, params::kChannelAnalog);
  EXPECT_TRUE(table[2].ext_info.empty());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find(file + "' line 4: the WITS code '01x1'"), std::string::npos) << log[0];
  EXPECT_NE(log[1].find("line 5: the WITS code '121'"), std::string::npos) << log[1];
  EXPECT_NE(log[1].find("давление_на_входе' is left as it was"), std::string::npos) << log[1];
}

TEST_F(WitsConfigTest, UnreadableFileGivesAnEmptyReportAndALogLine) {
  table.add("тальблок");
  EXPECT_TRUE(table.load_wits_config(home.file("нет.cfg"), "S", true).empty());
  EXPECT_EQ(log.size(), 1u);
  EXPECT_EQ(table.get_items_count(), 1);
}

TEST_F(WitsConfigTest, GarbageLinesChangeNothing) {
  table.add("тальблок");
  const std::string garbage("\xFF\xFE\x00\x01 \"unclosed\n\t \n,,,\n\x80\x81", 24);
  EXPECT_TRUE(table.apply_wits_config(garbage, "S", true).empty());
  EXPECT_EQ(table.get_items_count(), 1);
  EXPECT_TRUE(table[0].ext_info.empty());
}

}  // namespace
