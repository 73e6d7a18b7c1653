#include "alarms/min_max_values.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lib/binary_stream.h"
#include "lib/module_list.h"

using namespace alarms;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// One threshold of every kind, each with something that tells it apart.
MinMaxValues one_of_each() {
  MinMaxValues list;
  auto plain = std::make_unique<MinMaxValue>("нагрузка", 5, 30);
  plain->set_operations(OperationSet(0b100));
  list.add(std::move(plain));
  list.add(std::make_unique<MinMaxRelayValue>("давление_на_входе", -1, 200, 2));
  list.add(std::make_unique<MinMaxSMSValue>("сумм газ", 0.5f, 0, "+79001234567,+79007654321"));
  list.add(std::make_unique<MinMaxRTKValue>("момент_ротора", -1, 10, 1000, 2000));
  return list;
}

std::vector<std::string> lines_of(const MinMaxValues& list) {
  std::vector<std::string> out;
  for (const auto& item : list.items()) out.push_back(item->get_ini_line());
  return out;
}

lib::IniFile ini_of(const std::string& text) {
  lib::IniFile ini;
  ini.load_text(text);
  return ini;
}

TEST(MinMaxValuesTest, SaveWritesSizeVersionAndNumberedItems) {
  const MinMaxValues list = one_of_each();
  lib::IniFile ini = ini_of("[MinMaxValues]\nsize=9\nitem8=stale\n[other]\nk=v\n");
  list.save(ini);
  EXPECT_EQ(ini.get_int("MinMaxValues", "size", 0), 4);
  EXPECT_EQ(ini.get_int("MinMaxValues", "version", 0), 1);
  EXPECT_EQ(ini.get_string("MinMaxValues", "item0"), "\"0,нагрузка,1,5,1,30\"");
  EXPECT_FALSE(ini.has_key("MinMaxValues", "item8")) << "the section belongs to the list";
  EXPECT_EQ(ini.get_string("other", "k"), "v");
}

TEST(MinMaxValuesTest, SaveLoadRoundTripOfEveryKind) {
  const MinMaxValues list = one_of_each();
  lib::IniFile ini;
  list.save(ini);
  // Through the file text, as the station would.
  lib::IniFile reread = ini_of(ini.to_text());

  MinMaxValues loaded;
  loaded.set_defaults();
  EXPECT_THAT(loaded.load(reread), IsEmpty());
  ASSERT_EQ(loaded.size(), 4u);
  // The lines hold every field but the operation sets, which come back as each kind's default.
  EXPECT_EQ(lines_of(loaded), lines_of(list));
  EXPECT_EQ(dynamic_cast<const MinMaxSMSValue&>(loaded[2]).get_phones(),
            "+79001234567,+79007654321");
  EXPECT_TRUE(loaded[0].operations().all());
  EXPECT_EQ(loaded[3].operations(), OperationSet().set(kDrillingOperation));
}

TEST(MinMaxValuesTest, LegacyLineGivesPlainAndRelayThresholds) {
  MinMaxValues list;
  const auto problems =
      list.load(ini_of("[MinMaxValues]\nsize=2\nitem0=\"нагрузка,1,5,1,30,3,0,0,1,40\"\n"
                       "item1=\"давление_на_входе,0,0,1,200,-1,0,0,0,0\"\n"));
  EXPECT_THAT(problems, IsEmpty());
  // Relay channel 3 gives a relay threshold with its own limits; -1 gives none.
  EXPECT_EQ(lines_of(list),
            (std::vector<std::string>{"\"0,нагрузка,1,5,1,30\"", "\"1,нагрузка,0,0,1,40,3\"",
                                      "\"0,давление_на_входе,0,0,1,200\""}));
  EXPECT_EQ(list[1].get_kind(), kKindRelay);

  // A short line is padded, not misread.
  list.load(ini_of("[MinMaxValues]\nsize=1\nversion=0\nitem0=\"нагрузка,1,5\"\n"));
  ASSERT_EQ(list.size(), 1u) << "no relay item: no relay threshold";
  EXPECT_FLOAT_EQ(list[0].get_min(), 5);
  EXPECT_FALSE(list[0].has_max());
}

// The settings file as the user keeps it: names and phones that need quoting are written
// with their items quoted once and the line quoted once more, and read back whole.
TEST(MinMaxValuesTest, QuotedNamesAndPhonesInTheFile) {
  MinMaxValues list;
  list.add(std::make_unique<MinMaxSMSValue>("сумм газ", 0, 1, "+7 900 111,+7 900 222"));
  list.add(std::make_unique<MinMaxRelayValue>("имя, \"в кавычках\"", 0, 5, 2));
  lib::IniFile ini;
  list.save(ini);
  const std::string text = ini.to_text();
  EXPECT_THAT(text, HasSubstr("item0=\"3,\"сумм газ\",0,0,1,1,\"+7 900 111,+7 900 222\"\""));
  EXPECT_THAT(text, HasSubstr("item1=\"1,\"имя, \"\"в кавычках\"\"\",0,0,1,5,2\""));

  MinMaxValues loaded;
  EXPECT_THAT(loaded.load(ini_of(text)), IsEmpty());
  EXPECT_EQ(lines_of(loaded), lines_of(list));  // the lines carry name, phones and relay
}

// A file saved by an earlier build, which doubled the quotes of the whole line, keeps every
// threshold; the next save writes the current form.
TEST(MinMaxValuesTest, FileOfAnEarlierBuildLoadsAndIsRewritten) {
  MinMaxValues list;
  EXPECT_THAT(list.load(ini_of("[MinMaxValues]\nsize=3\nversion=1\n"
                               "item0=\"3,\"\"сумм газ\"\",0,0,1,1,\"\"+7900,+7901\"\"\"\n"
                               "item1=\"1,\"\"a \"\"\"\"b\"\"\"\"\"\",0,0,1,5,2\"\n"
                               "item2=\"0,нагрузка,1,5,1,30\"\n")),
              IsEmpty());
  EXPECT_EQ(lines_of(list), (std::vector<std::string>{"\"3,\"сумм газ\",0,0,1,1,\"+7900,+7901\"\"",
                                                      "\"1,\"a \"\"b\"\"\",0,0,1,5,2\"",
                                                      "\"0,нагрузка,1,5,1,30\""}));
}

// Texts made only of quotes are what an empty name or phone list of an earlier build reads
// as: loaded as read and reported, so the operator can check them.
TEST(MinMaxValuesTest, QuoteOnlyNamesAndPhonesAreReported) {
  MinMaxValues list;
  const auto problems =
      list.load(ini_of("[MinMaxValues]\nsize=3\nversion=1\n"
                       "item0=\"3,a,0,0,1,5,\"\"\"\"\"\n"
                       "item1=\"0,\"\"\"\",0,0,1,5\"\n"
                       "item2=\"3,b,0,0,1,5,\"\"\"\n"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(dynamic_cast<const MinMaxSMSValue&>(list[0]).get_phones(), "\"");
  EXPECT_EQ(list[1].get_param(), "\"");
  EXPECT_EQ(dynamic_cast<const MinMaxSMSValue&>(list[2]).get_phones(), "");
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_THAT(problems[0], HasSubstr("item0"));
  EXPECT_THAT(problems[0], HasSubstr("phones"));
  EXPECT_THAT(problems[1], HasSubstr("item1"));
  EXPECT_THAT(problems[1], HasSubstr("parameter name"));
}

TEST(MinMaxValuesTest, WithoutTheSectionTheListStays) {
  MinMaxValues list;
  list.set_defaults();
  EXPECT_THAT(list.load(ini_of("[other]\nsize=3\n")), IsEmpty());
  EXPECT_EQ(list.size(), 8u);

  const auto problems = list.load(ini_of("[MinMaxValues]\nsize=lots\nitem0=\"0,a,0,0,1,1\"\n"));
  EXPECT_EQ(list.size(), 8u) << "an unreadable size is no list";
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_THAT(problems[0], HasSubstr("size"));
}

TEST(MinMaxValuesTest, BadLinesAreSkippedOrGuessedAndReported) {
  MinMaxValues list;
  const auto problems =
      list.load(ini_of("[MinMaxValues]\nsize=6\nversion=1\n"
                       "item0=\"0,a,0,0,1,1\"\n"
                       "item1=\"x,b,0,0,1,1\"\n"     // kind unreadable
                       "item2=\"\"\n"                // empty
                       "item3=\"7,c,0,0,1,3\"\n"     // unknown kind
                       "item5=\"2,d,0,0,1,4\"\n"     // text kind, item4 missing
                       "item6=\"0,e,0,0,1,5\"\n"));  // beyond size
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].get_param(), "a");
  EXPECT_EQ(list[1].get_param(), "c");
  EXPECT_EQ(list[1].get_kind(), kKindSound);
  EXPECT_EQ(list[2].get_param(), "d");
  EXPECT_EQ(list[2].get_kind(), kKindSound) << "the text kind has no class of its own";
  std::string all;
  for (const auto& p : problems) all += p + "\n";
  EXPECT_THAT(all, HasSubstr("item1"));
  EXPECT_THAT(all, HasSubstr("item2"));
  EXPECT_THAT(all, HasSubstr("unknown kind 7"));
  EXPECT_THAT(all, HasSubstr("item6"));
  EXPECT_EQ(problems.size(), 4u);
}

TEST(MinMaxValuesTest, LinesComeInNumberOrderWhateverTheFileOrder) {
  MinMaxValues list;
  list.load(
      ini_of("[MinMaxValues]\nsize=11\nversion=1\nitem10=\"0,k,0,0,1,1\"\n"
             "item2=\"0,c,0,0,1,1\"\nITEM0=\"0,a,0,0,1,1\"\nitem02=\"0,bad,0,0,1,1\"\n"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].get_param(), "a");
  EXPECT_EQ(list[1].get_param(), "c");
  EXPECT_EQ(list[2].get_param(), "k");
}

TEST(MinMaxValuesTest, HugeOrNegativeSizeCostsNothing) {
  MinMaxValues list;
  list.load(
      ini_of("[MinMaxValues]\nsize=1000000000000000\nversion=1\nitem0=\"0,a,0,0,1,1\"\n"
             "item999999999=\"0,z,0,0,1,1\"\n"));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].get_param(), "z");

  const auto problems = list.load(ini_of("[MinMaxValues]\nsize=-7\nitem0=\"0,a,0,0,1,1\"\n"));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(problems.empty());
}

TEST(MinMaxValuesTest, CopyRebuildsFromLinesAndIsIndependent) {
  const MinMaxValues list = one_of_each();
  MinMaxValues copy;
  copy.add("will go");
  copy = list;
  ASSERT_EQ(copy.size(), list.size());
  EXPECT_EQ(lines_of(copy), lines_of(list));
  EXPECT_TRUE(copy[0].operations().all()) << "the operation set returns to its default";
  EXPECT_EQ(list[0].operations(), OperationSet(0b100));
  copy[0].set_param("changed");
  EXPECT_EQ(list[0].get_param(), "нагрузка");
  MinMaxValues constructed(list);
  EXPECT_EQ(lines_of(constructed), lines_of(list));
}

TEST(MinMaxValuesTest, FindAddErase) {
  MinMaxValues list = one_of_each();
  EXPECT_TRUE(list.contains("нагрузка"));
  EXPECT_FALSE(list.contains("НАГРУЗКА")) << "names compare exactly";
  ASSERT_NE(list.find("момент_ротора"), nullptr);
  EXPECT_EQ(list.find("момент_ротора")->get_kind(), kKindDepthInterval);
  list.add("новый");
  EXPECT_FALSE(list.find("новый")->has_max());
  list.add(std::unique_ptr<MinMaxValue>());
  EXPECT_EQ(list.size(), 5u);
  EXPECT_FALSE(list.erase(5));
  EXPECT_TRUE(list.erase(0));
  EXPECT_FALSE(list.contains("нагрузка"));
  EXPECT_THROW(list[10], std::out_of_range);
}

TEST(MinMaxValuesTest, GridRoundTrip) {
  const MinMaxValues list = one_of_each();
  lib::TextGrid grid;
  list.fill_to_grid(grid);
  ASSERT_EQ(grid.row_count(), 5u);
  EXPECT_EQ(grid.cell(2, kGridColKind), "1(Реле)");
  EXPECT_EQ(grid.cell(2, kGridColMin), "") << "no limit, no text";
  EXPECT_EQ(grid.cell(4, kGridColData), "1000.00 - 2000.00");

  grid.set_data_row_count(6);  // a trailing row the user left empty
  MinMaxValues back;
  back.read_from_grid(grid);
  EXPECT_EQ(lines_of(back), lines_of(list));

  grid.set_cell(1, kGridColKind, "3(СМС)");
  grid.set_cell(1, kGridColData, "+7");
  back.read_from_grid(grid);
  ASSERT_EQ(back[0].get_kind(), kKindSms);
  EXPECT_EQ(dynamic_cast<const MinMaxSMSValue&>(back[0]).get_phones(), "+7");
  // The kind column offers each kind in the form the grid reads back.
  EXPECT_NE(MinMaxValues::grid_popup_strings(kGridColKind).index_of("3(СМС)"), -1);
  EXPECT_TRUE(MinMaxValues::grid_popup_strings(kGridColName).empty());
}

TEST(MinMaxValuesTest, StateRoundTripThroughTheModuleList) {
  MinMaxValues list = one_of_each();
  lib::ModuleList modules;
  modules.register_module(list);
  lib::io::BinaryMemoryOutputStream out;
  modules.serialize(out, nullptr, 1);

  MinMaxValues restored;
  restored.set_defaults();
  lib::ModuleList other;
  other.register_module(restored, "MinMaxValues");
  lib::io::BinaryMemoryInputStream in(out.data());
  const auto report = other.deserialize(in, 1, {});
  EXPECT_EQ(report.read, 1);
  EXPECT_EQ(lines_of(restored), lines_of(list));

  // A damaged block leaves the list as it was.
  std::string bytes = out.data();
  bytes[bytes.size() - 10] ^= 0x55;
  lib::io::BinaryMemoryInputStream damaged(std::move(bytes));
  restored.set_defaults();
  other.deserialize(damaged, 1, {});
  EXPECT_EQ(restored.size(), 8u);
}

}  // namespace
