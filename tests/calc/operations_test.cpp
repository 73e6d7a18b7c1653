// The operation dictionary and the mapping of an operation to its sub-operation, work type
// and production time. The expected tables below are typed from the station's reference
// tables, not taken from the code, so a slip in either shows as a difference.
#include "calc/operations.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "calc/work_mode.h"

namespace {

using calc::Operations;

struct ExpectedOperation {
  int id;
  const char* key;
  std::int32_t mode;
  std::uint32_t color;
  std::uint32_t fill;
  std::int32_t wits;
};

const std::vector<ExpectedOperation> kOperations = {
    {0, "oper_not_def", 4, 0xFF000005, 0xFFFFFF, 0},
    {1, "oper_spo", 3, 0xCFFFFF, 0x00FFFF, 8},
    {2, "oper_drill", 0, 0xCFCFFF, 0xD0D0FF, 2},
    {3, "oper_prorab", 0, 0xFFCFCF, 0xFFD0D0, 5},
    {4, "oper_prom", 0, 0xFFBFBF, 0xFFFF00, 7},
    {5, "oper_pros", 1, 0xFFBFFF, 0xFF00FF, 0},
    {6, "oper_gis", 1, 0xCFFFCF, 0x00FF00, 14},
    {7, "oper_repair", 1, 0xFFBFFF, 0xFF00FF, 11},
    {8, "oper_add_pipe", 0, 0xCFFFFF, 0x00FFFF, 3},
    {9, "oper_reaming", 3, 0xFFCFCF, 0xFFD0D0, 4},
    {10, "oper_stab", 3, 0xCFFFCF, 0x00FF00, 16},
    {11, "oper_cement_cong", 1, 0xCFFFCF, 0x00FF00, 19},
    {12, "oper_case_run", 3, 0xCFFFCF, 0x00FF00, 15},
    {13, "oper_pzr", 1, 0xCFFFCF, 0x00FF00, 1},
    {14, "oper_tripping_in", 0, 0xCFFFFF, 0x00FFFF, 8},
    {15, "oper_tripping_out", 0, 0xCFFFFF, 0x00FFFF, 8},
    {16, "oper_mont_pvo", 1, 0xCFFFCF, 0x00FF00, 16},
    {17, "oper_rig_up", 0, 0xCFFFFF, 0x00FFFF, 16},
    {18, "oper_tear_down", 0, 0xCFFFFF, 0x00FFFF, 16},
    {19, "oper_cement", 1, 0xCFFFCF, 0x00FF00, 16},
    {20, "oper_inclin", 3, 0xFFBFBF, 0xFFFF00, 16},
    {21, "oper_gdi", 1, 0xCFFFCF, 0x00FF00, 16},
    {22, "oper_aux", 1, 0xCFFFCF, 0x00FF00, 16},
};

struct ExpectedNamed {
  int id;
  const char* name;
  std::int32_t mode;
  std::uint32_t color;
  std::uint32_t fill;
  int parent;
};

const std::vector<ExpectedNamed> kSuboperations = {
    {0, "Прочее", 4, 0xFF000005, 0xFFFFFF, 0},
    {1, "Спуск", 0, 0xCFFFFF, 0x00FFFF, 14},
    {2, "Спуск со сборк инстр", 1, 0xCFFFFF, 0x00FFFF, 14},
    {3, "Спуск ОК", 1, 0xCFFFFF, 0x00FFFF, 14},
    {4, "Подъём", 0, 0xCFFFFF, 0x00FFFF, 15},
    {5, "Подъём с выбросом БИ", 1, 0xCFFFFF, 0x00FFFF, 15},
    {6, "Подъём ОК", 1, 0xCFFFFF, 0x00FFFF, 15},
    {7, "Бурение роторное", 0, 0xCFCFFF, 0xD0D0FF, 2},
    {8, "Бурение турбинное", 0, 0xCFCFFF, 0xD0D0FF, 2},
    {9, "Проработка", 0, 0xFFCFCF, 0xFFD0D0, 3},
    {10, "РЦМ", 1, 0xFFCFCF, 0xFFD0D0, 3},
    {11, "РЦС", 1, 0xFFCFCF, 0xFFD0D0, 3},
    {12, "Расширка", 1, 0xFFCFCF, 0xFFD0D0, 3},
    {13, "Промывка", 0, 0xFFBFBF, 0xFFFF00, 4},
    {14, "ОИННС", 1, 0xFFBFBF, 0xFFFF00, 4},
    {15, "Простой", 1, 0xFFBFFF, 0xFF00FF, 5},
    {16, "ГИС", 1, 0xCFFFCF, 0x00FF00, 6},
    {17, "ГИС в БТ", 1, 0xCFFFCF, 0x00FF00, 6},
    {18, "ГИС на БТ", 1, 0xCFFFCF, 0x00FF00, 6},
    {19, "Ремонт", 1, 0xFFBFFF, 0xFF00FF, 7},
    {20, "Наращивание", 0, 0xCFFFFF, 0x00FFFF, 8},
    {21, "ОЗЦ", 1, 0xCFFFCF, 0x00FF00, 11},
    {22, "ПЗР", 1, 0xCFFFCF, 0x00FF00, 13},
    {23, "Монтаж ПВО", 1, 0xCFFFCF, 0x00FF00, 16},
    {24, "Сборка КНБК", 1, 0xCFFFFF, 0x00FFFF, 17},
    {25, "Сборка, пров, опр ВЗД", 1, 0xCFFFFF, 0x00FFFF, 17},
    {26, "Сборка, пров, опр ТС", 1, 0xCFFFFF, 0x00FFFF, 17},
    {27, "Разборка КНБК", 1, 0xCFFFFF, 0x00FFFF, 18},
    {28, "Отворот ВЗД", 1, 0xCFFFFF, 0x00FFFF, 18},
    {29, "РТС", 1, 0xCFFFFF, 0x00FFFF, 18},
    {30, "Цементирование ОК", 1, 0xCFFFCF, 0x00FF00, 19},
    {31, "Заливка зоны поглощения", 1, 0xCFFFCF, 0x00FF00, 19},
    {32, "Установка ЦМ", 1, 0xCFFFCF, 0x00FF00, 19},
    {33, "ГДИ", 1, 0xCFFFCF, 0x00FF00, 21},
    {34, "Проч.вспом.раб.", 1, 0xCFFFCF, 0x00FF00, 22},
    {35, "Снятие замера", 1, 0xFFBFBF, 0xFFFF00, 4},
};

const std::vector<ExpectedNamed> kWorkTypes = {
    {0, "Прочее", 4, 0x000000, 0xFFFFFF, 0},
    {1, "Бурение", 0, 0x3333FF, 0x99FFFF, 0},
    {2, "Бурение вспом. работы", 0, 0x6666FF, 0x66FF99, 0},
    {3, "Крепление", 0, 0xFF3333, 0xFFFF66, 0},
    {4, "Ликвидация осложнения", 1, 0x336633, 0x66CC33, 0},
    {5, "Ликвидация аварии", 1, 0x336699, 0x6666FF, 0},
    {6, "Ликвидация брака", 1, 0x009999, 0x3399FF, 0},
    {7, "Ремонт", 1, 0x993399, 0xFF99FF, 0},
    {8, "Простой", 1, 0x666666, 0xCCCCCC, 0},
};

// Ids no table holds: below, just past each end, and the extremes.
const std::vector<int> kAbsentIds = {-1, -2, 23, 36, 99, INT_MIN, INT_MAX};

// ---- the tables -------------------------------------------------------------------------------

TEST(OperationDictionary, OperationTableMatchesTheReferenceRowByRow) {
  const Operations d;
  ASSERT_EQ(d.operation_count(), static_cast<int>(kOperations.size()));
  std::vector<std::string> names;
  for (const auto& e : kOperations) {
    SCOPED_TRACE("operation " + std::to_string(e.id));
    EXPECT_EQ(d.get_key(e.id), e.key);
    EXPECT_EQ(d.get_mode(e.id), e.mode);
    EXPECT_EQ(d.get_color(e.id), e.color);
    EXPECT_EQ(d.get_fill_color(e.id), e.fill);
    EXPECT_EQ(d.get_WITS_code(e.id), e.wits);
    EXPECT_EQ(d.get(e.id), calc::operation_key_text(e.key));
    EXPECT_NE(d.get(e.id), e.key) << "every key has a Russian text";
    const calc::OperationEntry& item = d.get_item(e.id);
    EXPECT_EQ(item.name, d.get(e.id));
    EXPECT_EQ(item.wits_code, e.wits);
    EXPECT_EQ(item.parent, 0);
    names.push_back(d.get(e.id));
  }
  // A reverse lookup is only useful when the names tell the operations apart.
  for (std::size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(d.get_oper_by_string(names[i]), static_cast<int>(i)) << names[i];
}

TEST(OperationDictionary, SubOperationTableMatchesTheReferenceRowByRow) {
  const Operations d;
  ASSERT_EQ(d.suboperation_count(), static_cast<int>(kSuboperations.size()));
  for (const auto& e : kSuboperations) {
    SCOPED_TRACE("sub-operation " + std::to_string(e.id));
    EXPECT_EQ(d.get_suboperation(e.id), e.name);
    const calc::OperationEntry* item = d.find_suboperation(e.id);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->mode, e.mode);
    EXPECT_EQ(item->color, e.color);
    EXPECT_EQ(item->fill_color, e.fill);
    EXPECT_EQ(item->parent, e.parent);
    EXPECT_EQ(item->wits_code, 0);
  }
}

TEST(OperationDictionary, WorkTypeTableMatchesTheReferenceRowByRow) {
  const Operations d;
  ASSERT_EQ(d.work_type_count(), static_cast<int>(kWorkTypes.size()));
  for (const auto& e : kWorkTypes) {
    SCOPED_TRACE("work type " + std::to_string(e.id));
    EXPECT_EQ(d.get_work_type(e.id), e.name);
    EXPECT_EQ(d.get_work_type_mode(e.id), e.mode);
    EXPECT_EQ(d.get_work_type_color(e.id), e.color);
    EXPECT_EQ(d.get_work_type_fill_color(e.id), e.fill);
    EXPECT_EQ(d.get_work_type_by_string(e.name), e.id);
  }
}

TEST(OperationDictionary, ProductionTimeNamesAndColours) {
  EXPECT_EQ(Operations::get_production_time(0), "НПВ");
  EXPECT_EQ(Operations::get_production_time(1), "ПВ");
  EXPECT_EQ(Operations::get_production_time(2), "НЗПВ");
  EXPECT_EQ(Operations::get_production_time(3), "3");
  EXPECT_EQ(Operations::get_production_time(-7), "-7");
  EXPECT_EQ(Operations::get_production_time_color(0), 0xEEEEEEu);
  EXPECT_EQ(Operations::get_production_time_color(1), 0xC0DCC0u);
  EXPECT_EQ(Operations::get_production_time_color(2), 0xF0CAA6u);
  EXPECT_EQ(Operations::get_production_time_color(3), 0xFF000005u);
  EXPECT_EQ(Operations::get_production_time_color(-1), 0xFF000005u);
}

// ---- ids that are not there ---------------------------------------------------------------------

TEST(OperationDictionary, AbsentIdsGiveTheirDocumentedAnswers) {
  const Operations d;
  for (int id : kAbsentIds) {
    SCOPED_TRACE("id " + std::to_string(id));
    EXPECT_EQ(d.get(id), "");
    EXPECT_EQ(d.get_key(id), "");
    EXPECT_EQ(d.get_mode(id), 4);
    EXPECT_EQ(d.get_color(id), 0xFF000005u);
    EXPECT_EQ(d.get_fill_color(id), 0x1FFFFFFFu);
    EXPECT_EQ(d.get_WITS_code(id), 0);
    EXPECT_EQ(&d.get_item(id), &d.get_item(0)) << "an absent operation gives the entry of 0";
    EXPECT_EQ(d.css_class(id), "op-not-def");
    if (id != 23) {  // 23..35 are sub-operations
      EXPECT_EQ(d.get_suboperation(id), "");
      EXPECT_EQ(d.find_suboperation(id), nullptr);
    }
    EXPECT_EQ(d.get_work_type(id), "");
    EXPECT_EQ(d.find_work_type(id), nullptr);
    EXPECT_EQ(d.get_work_type_mode(id), 4);
    EXPECT_EQ(d.get_work_type_color(id), 0u);
    EXPECT_EQ(d.get_work_type_fill_color(id), 0xFFFFFFu);
    EXPECT_FALSE(d.has_operation(id));
    EXPECT_EQ(d.first_suboperation(id), -1);
    std::vector<int> ids = {5};
    d.enum_suboperations(ids, id);
    EXPECT_TRUE(ids.empty());
  }
  EXPECT_EQ(d.get_suboperation(36), "");
  EXPECT_EQ(d.get_oper_by_string("Бурение скважины"), -1);
  EXPECT_EQ(d.get_oper_by_string(""), -1);
  EXPECT_EQ(d.get_oper_by_string("oper_drill"), -1) << "names are matched, not keys";
  EXPECT_EQ(d.get_suboper_by_string("спуск"), -1) << "the match is exact";
  EXPECT_EQ(d.get_work_type_by_string("Бурение "), -1);
}

// ---- enumeration --------------------------------------------------------------------------------

TEST(OperationDictionary, EnumerationIsInIdOrderClearsIdListsAndAppendsNames) {
  const Operations d;
  std::vector<int> ids = {99, 98};
  d.enum_values(ids);
  ASSERT_EQ(ids.size(), 23u);
  for (int i = 0; i < 23; ++i) EXPECT_EQ(ids[static_cast<std::size_t>(i)], i);
  d.enum_works(ids);
  EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

  d.enum_suboperations(ids, 4);
  EXPECT_EQ(ids, (std::vector<int>{13, 14, 35}));
  d.enum_suboperations(ids, 19);
  EXPECT_EQ(ids, (std::vector<int>{30, 31, 32}));
  d.enum_suboperations(ids, 1);
  EXPECT_TRUE(ids.empty()) << "tripping as a whole has no sub-operations";

  std::vector<std::string> names = {"уже было"};
  d.enum_subnames(names, 15);
  EXPECT_EQ(names,
            (std::vector<std::string>{"уже было", "Подъём", "Подъём с выбросом БИ", "Подъём ОК"}));
  names.clear();
  d.enum_worknames(names);
  ASSERT_EQ(names.size(), kWorkTypes.size());
  EXPECT_EQ(names.front(), "Прочее");
  EXPECT_EQ(names.back(), "Простой");
  names = {"x"};
  d.enum_names(names);
  ASSERT_EQ(names.size(), 24u);
  EXPECT_EQ(names[0], "x");
  EXPECT_EQ(names[3], d.get(2));
}

// ---- colours for a web page -------------------------------------------------------------------

TEST(OperationColours, HostColoursBecomeCssHexWithRedInTheLowByte) {
  EXPECT_EQ(calc::css_colour(0x0000FF), "#ff0000");
  EXPECT_EQ(calc::css_colour(0xFF0000), "#0000ff");
  EXPECT_EQ(calc::css_colour(0xCFCFFF), "#ffcfcf");
  EXPECT_EQ(calc::css_colour(0x00FFFF), "#ffff00");
  EXPECT_EQ(calc::css_colour(0x000000), "#000000");
  EXPECT_EQ(calc::css_colour(0xFF000005), "#ffffff") << "the window background";
  EXPECT_EQ(calc::css_colour(0x1FFFFFFF), "#ffffff") << "no colour";
}

TEST(OperationColours, CssClassesAreStableDistinctAndSafe) {
  const Operations d;
  EXPECT_EQ(d.css_class(2), "op-drill");
  EXPECT_EQ(d.css_class(14), "op-tripping-in");
  EXPECT_EQ(d.css_class(0), "op-not-def");
  std::vector<std::string> seen;
  for (int id = 0; id < d.operation_count(); ++id) {
    const std::string c = d.css_class(id);
    for (char ch : c) EXPECT_TRUE((ch >= 'a' && ch <= 'z') || ch == '-') << c;
    for (const auto& other : seen) EXPECT_NE(c, other);
    seen.push_back(c);
  }
}

// ---- the purpose code ---------------------------------------------------------------------------

TEST(PurposeCode, TheIntegerInTheLastBracketsThatEndTheText) {
  EXPECT_EQ(calc::purpose_code("Бурение (5)"), 5);
  EXPECT_EQ(calc::purpose_code("Эксплуатационное (поисковое) бурение (46)"), 46);
  EXPECT_EQ(calc::purpose_code("(17)"), 17);
  EXPECT_EQ(calc::purpose_code("Крепление ( 8 )"), 8);
  EXPECT_EQ(calc::purpose_code("Бурение"), -1);
  EXPECT_EQ(calc::purpose_code(""), -1);
  EXPECT_EQ(calc::purpose_code("Бурение (5) "), -1) << "the bracket must end the text";
  EXPECT_EQ(calc::purpose_code("Бурение 5)"), -1) << "no opening bracket";
  EXPECT_EQ(calc::purpose_code("Бурение ()"), -1);
  EXPECT_EQ(calc::purpose_code("Бурение (пять)"), -1);
  EXPECT_EQ(calc::purpose_code("Бурение (5a)"), -1);
  EXPECT_EQ(calc::purpose_code("Бурение (99999999999)"), -1) << "does not fit an integer";
  EXPECT_EQ(calc::purpose_code("(1) бурение (2)"), 2);
}

// ---- the rules ----------------------------------------------------------------------------------

TEST(WorkModeRules, TheTenRulesInTheirOrder) {
  struct Rule {
    std::vector<int> purposes;  // empty: any
    std::vector<int> operations;
    int work, prod;
  };
  const std::vector<int> drilling = {1, 2, 3, 4, 5, 20, 29, 46, 47, 48, 49, 50, 51, 52};
  const std::vector<Rule> expected = {
      {drilling, {2, 8, 14, 15}, 1, 1},
      {drilling, {4, 3, 6, 17, 18, 16, 13, 21, 22}, 2, 1},
      {{6, 7, 11}, {}, 2, 1},
      {{8, 9, 13, 14, 21, 22}, {}, 3, 1},
      {{16, 23, 26, 41, 53}, {}, 4, 1},
      {{17, 24, 28, 31, 32, 33, 34, 35, 36}, {}, 5, 0},
      {{18, 25, 27, 38, 19}, {}, 6, 0},
      {{39}, {}, 0, 1},
      {{}, {7}, 7, 0},
      {{}, {5}, 8, 0},
  };
  auto stored = [](const std::vector<int>& list) {
    std::array<std::int32_t, calc::kRuleListSize> out{};
    out.fill(calc::kRuleEmpty);
    if (list.empty()) out[0] = calc::kRuleAny;
    for (std::size_t i = 0; i < list.size(); ++i) out[i] = list[i];
    return out;
  };
  const auto& rules = calc::work_mode_rules();
  ASSERT_EQ(rules.size(), expected.size());
  for (std::size_t i = 0; i < rules.size(); ++i) {
    SCOPED_TRACE("rule " + std::to_string(i + 1));
    EXPECT_EQ(rules[i].purposes, stored(expected[i].purposes));
    EXPECT_EQ(rules[i].operations, stored(expected[i].operations));
    EXPECT_EQ(rules[i].work_type, expected[i].work);
    EXPECT_EQ(rules[i].prod_time, expected[i].prod);
  }
}

// What every operation maps to, typed from the tables: its first sub-operation (-1: it has
// none and keeps what it was given), and the work type and production time with no purpose
// code, with a drilling purpose (5), with a purpose code of rule 3 (6), of rule 6 (17) and of
// rule 8 (39).
struct Mapping {
  int oper;
  int first_sub;
  int work_none, prod_none;
  int work_5, prod_5;
  int work_6, prod_6;
  int work_17, prod_17;
  int work_39, prod_39;
};

// clang-format off
const std::vector<Mapping> kMappings = {
    // oper sub   none    (5)     (6)     (17)    (39)
    {  0,   0,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    {  1,  -1,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    {  2,   8,  0, 1,   1, 1,   2, 1,   5, 0,   0, 1},
    {  3,   9,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    {  4,  13,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    {  5,  15,  8, 0,   8, 0,   8, 0,   8, 0,   8, 0},
    {  6,  16,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    {  7,  19,  7, 0,   7, 0,   7, 0,   7, 0,   7, 0},
    {  8,  20,  0, 1,   1, 1,   2, 1,   5, 0,   0, 1},
    {  9,  -1,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    { 10,  -1,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    { 11,  21,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    { 12,  -1,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    { 13,  22,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    { 14,   1,  0, 1,   1, 1,   2, 1,   5, 0,   0, 1},
    { 15,   4,  0, 1,   1, 1,   2, 1,   5, 0,   0, 1},
    { 16,  23,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    { 17,  24,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    { 18,  27,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    { 19,  30,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    { 20,  -1,  0, 1,   0, 1,   2, 1,   5, 0,   0, 1},
    { 21,  33,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
    { 22,  34,  0, 1,   2, 1,   2, 1,   5, 0,   0, 1},
};
// clang-format on

TEST(WorkMode, EveryOperationMapsToItsSubOperationWorkTypeAndProductionTime) {
  const Operations d;
  ASSERT_EQ(kMappings.size(), static_cast<std::size_t>(d.operation_count()));
  const struct {
    const char* purpose;
    int Mapping::*work;
    int Mapping::*prod;
  } purposes[] = {
      {"Бурение", &Mapping::work_none, &Mapping::prod_none},
      {"Бурение эксплуатационной скважины (5)", &Mapping::work_5, &Mapping::prod_5},
      {"Бурение под кондуктор (6)", &Mapping::work_6, &Mapping::prod_6},
      {"Ликвидация аварии (17)", &Mapping::work_17, &Mapping::prod_17},
      {"Прочие работы (39)", &Mapping::work_39, &Mapping::prod_39},
  };
  for (const Mapping& m : kMappings) {
    for (const auto& p : purposes) {
      SCOPED_TRACE("operation " + std::to_string(m.oper) + ", purpose \"" + p.purpose + "\"");
      const int given = 31;  // kept only by an operation without sub-operations
      int sub = given;
      calc::ProdTimeType prod = 77;
      const calc::WorkType work = calc::detect_workmode(d, m.oper, {0.0, p.purpose}, sub, prod);
      EXPECT_EQ(sub, m.first_sub < 0 ? given : m.first_sub);
      EXPECT_EQ(work, m.*p.work);
      EXPECT_EQ(prod, m.*p.prod);
    }
  }
}

TEST(WorkMode, DrillingIsRotaryOnlyWhileTheTableTurns) {
  const Operations d;
  int sub = 0;
  calc::ProdTimeType prod = 0;
  calc::detect_workmode(d, 2, {15.0, ""}, sub, prod);
  EXPECT_EQ(sub, 7);
  calc::detect_workmode(d, 2, {0.0, ""}, sub, prod);
  EXPECT_EQ(sub, 8);
  calc::detect_workmode(d, 2, {-3.0, ""}, sub, prod);
  EXPECT_EQ(sub, 8) << "a negative reading is no rotation";
  calc::detect_workmode(d, 2, {0.001, ""}, sub, prod);
  EXPECT_EQ(sub, 7);
  // Rotation matters for drilling only.
  calc::detect_workmode(d, 3, {15.0, ""}, sub, prod);
  EXPECT_EQ(sub, 9);
}

TEST(WorkMode, LaterRulesOverrideEarlierOnesAndAnUnknownCodeMatchesNoPurposeList) {
  const Operations d;
  int sub = 0;
  calc::ProdTimeType prod = 0;
  // Rule 6 (code 17) and rule 10 (operation 5) both match: the later wins.
  EXPECT_EQ(calc::detect_workmode(d, 5, {0.0, "Авария (17)"}, sub, prod), 8);
  EXPECT_EQ(prod, 0);
  // The drilling purposes with repair: rule 9 overrides nothing earlier but still applies.
  EXPECT_EQ(calc::detect_workmode(d, 7, {0.0, "Бурение (5)"}, sub, prod), 7);
  EXPECT_EQ(prod, 0);
  // No code (-1) is not the mark of an unused slot: it matches no purpose list, and no
  // operation -1 matches an operation list.
  const auto& rules = calc::work_mode_rules();
  EXPECT_FALSE(calc::rule_list_matches(rules[0].purposes, calc::kRuleEmpty));
  EXPECT_FALSE(calc::rule_list_matches(rules[7].purposes, calc::kRuleEmpty));
  EXPECT_FALSE(calc::rule_list_matches(rules[8].operations, calc::kRuleEmpty));
  EXPECT_TRUE(calc::rule_list_matches(rules[8].purposes, calc::kRuleEmpty)) << "a wildcard";
  EXPECT_TRUE(calc::rule_list_matches(rules[0].purposes, 52));
  EXPECT_EQ(calc::detect_workmode(d, 3, {0.0, "без кода"}, sub, prod), 0);
  EXPECT_EQ(prod, 1);
  // A code no rule lists, and a negative one that equals the empty-slot mark.
  EXPECT_EQ(calc::detect_workmode(d, 2, {0.0, "(40)"}, sub, prod), 0);
  EXPECT_EQ(calc::detect_workmode(d, 2, {0.0, "(-1)"}, sub, prod), 0);
  EXPECT_EQ(calc::detect_workmode(d, 2, {0.0, "(-2)"}, sub, prod), 0);
  EXPECT_EQ(prod, 1);
}

TEST(WorkMode, UnknownOperationsHaveNoSubOperationsAndOnlyWildcardRulesMatch) {
  const Operations d;
  for (int oper : {-1, 23, 1000, INT_MIN, INT_MAX}) {
    SCOPED_TRACE("operation " + std::to_string(oper));
    int sub = 12;
    calc::ProdTimeType prod = 0;
    EXPECT_EQ(calc::detect_workmode(d, oper, {10.0, "Бурение (5)"}, sub, prod), 0);
    EXPECT_EQ(sub, 12);
    EXPECT_EQ(prod, 1);
    EXPECT_EQ(calc::detect_workmode(d, oper, {10.0, "Крепление (8)"}, sub, prod), 3);
  }
}

}  // namespace
