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
