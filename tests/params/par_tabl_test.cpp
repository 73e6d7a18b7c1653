// The parameter table as the station edits it: row access, catalogue additions, the
// dependency rules, the database set and the table's block in the state file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lib/module_list.h"
#include "params/all_params.h"
#include "params/db_params.h"
#include "params/par_tabl.h"
#include "params/param_vars.h"
#include "support/fakes.h"

namespace {

using params::Param;
using params::ParTabl;

std::vector<std::string> ids(const ParTabl& t) {
  std::vector<std::string> out;
  for (const Param& p : t.rows()) out.push_back(p.identifier);
  return out;
}

class ParTablTest : public ::testing::Test {
 protected:
  testing_support::TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ParTabl table{catalogue};

  void add_all(std::initializer_list<const char*> list) {
    for (const char* id : list) table.add(id);
  }
  bool has(const char* id) const { return table.param_exists(id); }
};

// --- Rows

TEST_F(ParTablTest, FindGlobalIgnoresCaseAndSurroundingBlanks) {
  add_all({"вес_на_крюке", "PRVP", "тальблок"});
  EXPECT_EQ(table.find_global("вес_на_крюке"), 0);
  EXPECT_EQ(table.find_global("  ВЕС_НА_КРЮКЕ\t"), 0);
  EXPECT_EQ(table.find_global("prvp"), 1);
  EXPECT_EQ(table.find_global("Тальблок"), 2);
  EXPECT_EQ(table.find_global("нагрузка"), -1);
  EXPECT_EQ(table.find_global("   "), -1);
  EXPECT_EQ(table.find_global(""), -1);
  EXPECT_EQ(&table["ТАЛЬБЛОК"], &table[2]);
}

TEST_F(ParTablTest, OutsideTheTableIsAScratchRowResetOnEveryAccess) {
  table.add("вес_на_крюке");
  Param& scratch = table[5];
  scratch.identifier = "мусор";
  scratch.range = 99;
  EXPECT_EQ(table[-1].identifier, "");
  EXPECT_EQ(table[1].range, 0.0f);
  EXPECT_EQ(table["нет_такого"].identifier, "");
  EXPECT_EQ(table.get_items_count(), 1);
  const ParTabl& view = table;
  EXPECT_EQ(view[7].averaging, 1);
  EXPECT_EQ(view["вес_на_крюке"].identifier, "вес_на_крюке");
}

TEST_F(ParTablTest, AddingByIdentifierTakesTheCatalogueEntryOnce) {
  table.add("обороты_ротора");
  table.add("ОБОРОТЫ_РОТОРА");
  table.add("нет_в_каталоге");
  ASSERT_EQ(table.get_items_count(), 1);
  EXPECT_EQ(table[0].full_name, "Обороты ротора");
  EXPECT_EQ(table[0].channel, params::USOChannel(0, 0, 1));
  EXPECT_EQ(table[0].averaging, 2);
  // A row given whole is appended even when its identifier is present.
  table.add(table[0]);
  EXPECT_EQ(table.get_items_count(), 2);
}

TEST_F(ParTablTest, EraseResizeClearAndLists) {
  add_all({"вес_на_крюке", "давление_на_входе", "тальблок"});
  table.erase(7);
  table.erase(-1);
  EXPECT_EQ(table.get_items_count(), 3);
  table.erase(1);
  EXPECT_EQ(ids(table), (std::vector<std::string>{"вес_на_крюке", "тальблок"}));

  table.resize(4);
  EXPECT_EQ(table.get_items_count(), 4);
  EXPECT_EQ(table[3].identifier, "");
  table[2].full_name = "   ";
  lib::StringContainer names{"уже было"};
  table.get_params_list(names);
  EXPECT_EQ(names, (lib::StringContainer{"уже было", "Вес на крюке", "Положение тальблока"}));

  std::vector<Param> copy(1);
  table.get_all_params(copy);
  EXPECT_EQ(copy.size(), 4u);
  table.resize(-5);
  EXPECT_EQ(table.get_items_count(), 0);
  table.add("вес_на_крюке");
  table.clear();
  EXPECT_EQ(table.get_items_count(), 0);
}

// --- Dependencies

TEST_F(ParTablTest, TankVolumesFollowTheirLevels) {
  add_all({"уровень_в_емкости", "уровень_в_емкости3"});
  table.check();
  EXPECT_TRUE(has("объем_в_емкости1"));
  EXPECT_TRUE(has("объем_в_емкости3"));
  EXPECT_FALSE(has("объем_в_емкости2"));
  // Any tank level brings the summed volumes.
  for (const char* id : {"объем_актив_емкости", "объем_емкости", "объем_раствора",
                         "объем_в_доливных_емкостях", "объем_в_приёмных_емкостях"}) {
    EXPECT_TRUE(has(id)) << id;
  }

  table.erase(table.find_global("уровень_в_емкости3"));
  table.check();
  EXPECT_FALSE(has("объем_в_емкости3"));
  EXPECT_TRUE(has("объем_в_емкости1"));
  EXPECT_TRUE(has("объем_емкости"));

  table.erase(table.find_global("уровень_в_емкости"));
  table.check();
  EXPECT_FALSE(has("объем_в_емкости1"));
  EXPECT_FALSE(has("объем_емкости"));
  EXPECT_FALSE(has("объем_раствора"));
  EXPECT_EQ(table.get_items_count(), 0);
}

TEST_F(ParTablTest, AbsoluteGasBringsRelativeGasAndTheTotal) {
  table.add("метан_абс");
  table.check();
  EXPECT_EQ(ids(table), (std::vector<std::string>{"метан_абс", "метан_отн", "сумм_газ"}));
  table.add("этан_абс");
  table.erase(table.find_global("метан_абс"));
  table.check();
  EXPECT_EQ(ids(table), (std::vector<std::string>{"сумм_газ", "этан_абс", "этан_отн"}));
  table.erase(table.find_global("этан_абс"));
  table.check();
  EXPECT_TRUE(ids(table).empty());
}

TEST_F(ParTablTest, ConductivityAndResistivityComeAndGoTogether) {
  table.add("электропроводность_на_входе");
  table.check();
  EXPECT_TRUE(has("уд_сопротивл_вх"));
  EXPECT_FALSE(has("уд_сопротивл_вых"));

  // Conductivity is the measured one: its rule runs first, so resistivity alone goes.
  ParTabl other(catalogue);
  other.add("уд_сопротивл_вых");
  other.add("вес_на_крюке");
  other.check();
  EXPECT_EQ(ids(other), (std::vector<std::string>{"вес_на_крюке"}));

  table.erase(table.find_global("электропроводность_на_входе"));
  table.check();
  EXPECT_FALSE(has("уд_сопротивл_вх"));
}

TEST_F(ParTablTest, AddingHalfRunsOnlyWhenNothingWasRemoved) {
  // Required absent: the dependants present are removed, nothing is added.
  add_all({"метан_отн", "этан_отн"});
  EXPECT_TRUE(table.check_remove_exists("метан_абс", "метан_отн, этан_отн"));
  EXPECT_TRUE(ids(table).empty());
  EXPECT_FALSE(table.check_remove_exists("метан_абс", "метан_отн"));

  // Required present: the missing dependants known to the catalogue are added.
  table.add("метан_абс");
  EXPECT_FALSE(table.check_remove_exists("метан_абс", "метан_отн"));
  EXPECT_TRUE(table.check_add_depend("метан_абс,этан_абс", "метан_отн,нет_в_каталоге,сумм_газ"));
  EXPECT_EQ(ids(table), (std::vector<std::string>{"метан_абс", "метан_отн", "сумм_газ"}));
  EXPECT_FALSE(table.check_add_depend("метан_абс", "метан_отн"));
  EXPECT_FALSE(table.check_add_depend("этан_абс", "этан_отн"));

  // check_depend over one rule either removes or adds.
  table.clear();
  table.add("метан_отн");
  table.check_depend("метан_абс", "метан_отн");
  EXPECT_TRUE(ids(table).empty());
}

TEST_F(ParTablTest, RulesApplyInTheirOrder) {
  // The summed-volume rule comes after the per-tank rules, so a lone tank volume is
  // removed and the summed volumes go with it in the same pass.
  add_all({"объем_в_емкости5", "объем_емкости", "вес_на_крюке"});
  table.check();
  EXPECT_EQ(ids(table), (std::vector<std::string>{"вес_на_крюке"}));
}

// --- Database set

TEST_F(ParTablTest, ConstantDatabaseParametersAreNeverInTheSet) {
  EXPECT_TRUE(ParTabl::is_const_db_param("вес_на_крюке"));
  EXPECT_FALSE(ParTabl::is_const_db_param("ВЕС_НА_КРЮКЕ"));
  table.set_is_db_param("вес_на_крюке", true);
  EXPECT_TRUE(table.db_params().empty());
  EXPECT_FALSE(table.is_db_param("вес_на_крюке"));

  table.set_is_db_param("метан1", true);
  table.set_is_db_param("метан1", true);
  EXPECT_TRUE(table.is_db_param("метан1"));
  EXPECT_FALSE(table.is_db_param("МЕТАН1"));
  EXPECT_EQ(table.db_params().size(), 1u);
  table.set_is_db_param("метан1", false);
  EXPECT_FALSE(table.is_db_param("метан1"));
  table.set_is_db_param("вес_на_крюке", false);
  EXPECT_TRUE(table.db_params().empty());
}

TEST(ConstDbParams, DistinctCatalogueEntriesCoveringEveryTank) {
  const auto list = params::const_db_params();
  ASSERT_EQ(list.size(), 88u);
  std::vector<std::string_view> sorted(list.begin(), list.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  // All of them are catalogue parameters, and every tank is there.
  testing_support::TempDir home;
  params::AllParams catalogue(home.path(), lib::posix_file_system());
  for (std::string_view id : list) EXPECT_GE(catalogue.get_param_number(id), 0) << id;
  for (int i = 0; i < params::ParamVars::kTankCount; ++i) {
    EXPECT_TRUE(params::is_const_db_param(params::ParamVars::v_emk[i]));
    EXPECT_TRUE(params::is_const_db_param(params::ParamVars::h_emk[i]));
  }
  EXPECT_FALSE(params::is_const_db_param("изоэтан_отн"));
}

}  // namespace
