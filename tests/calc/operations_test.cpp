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

// ---- the tables -------------------------------------------------------------------------------

// The dialogs and reports look operations and work types up by their shown names, so every
// name must lead back to its own id, and the entry, the text and the key must agree.
TEST(OperationDictionary, EveryShownNameLeadsBackToItsId) {
  const Operations d;
  for (int id = 0; id < d.operation_count(); ++id) {
    SCOPED_TRACE("operation " + std::to_string(id));
    EXPECT_EQ(d.get(id), calc::operation_key_text(d.get_key(id)));
    EXPECT_NE(d.get(id), d.get_key(id)) << "every key has a Russian text";
    EXPECT_EQ(d.get_item(id).name, d.get(id));
    EXPECT_EQ(d.get_oper_by_string(d.get(id)), id);
  }
  for (int id = 0; id < d.work_type_count(); ++id)
    EXPECT_EQ(d.get_work_type_by_string(d.get_work_type(id)), id) << id;
}

// The names and colours of the three kinds are in the dictionary's golden transcript.
TEST(OperationDictionary, UnknownProductionTimesShowTheirNumber) {
  EXPECT_EQ(Operations::get_production_time(3), "3");
  EXPECT_EQ(Operations::get_production_time(-7), "-7");
  EXPECT_EQ(Operations::get_production_time_color(3), 0xFF000005u);
  EXPECT_EQ(Operations::get_production_time_color(-1), 0xFF000005u);
}

TEST(OperationDictionary, AbsentIdsGiveTheirDocumentedAnswers) {
  const Operations d;
  for (int id : {-1, 23, 36, INT_MIN, INT_MAX}) {
    SCOPED_TRACE("id " + std::to_string(id));
    EXPECT_EQ(d.get(id), "");
    EXPECT_EQ(d.get_mode(id), 4);
    EXPECT_EQ(&d.get_item(id), &d.get_item(0)) << "an absent operation gives the entry of 0";
    EXPECT_EQ(d.css_class(id), "op-not-def");
    EXPECT_EQ(d.find_work_type(id), nullptr);
    EXPECT_FALSE(d.has_operation(id));
    EXPECT_EQ(d.first_suboperation(id), -1);
    std::vector<int> ids = {5};
    d.enum_suboperations(ids, id);
    EXPECT_TRUE(ids.empty());
  }
  EXPECT_EQ(d.get_suboperation(36), "");
  EXPECT_EQ(d.get_oper_by_string("oper_drill"), -1) << "names are matched, not keys";
  EXPECT_EQ(d.get_suboper_by_string("спуск"), -1) << "the match is exact";
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
  ASSERT_EQ(names.size(), static_cast<std::size_t>(d.work_type_count()));
  EXPECT_EQ(names.front(), "Прочее");
  EXPECT_EQ(names.back(), "Простой");
  names = {"x"};
  d.enum_names(names);
  ASSERT_EQ(names.size(), 24u);
  EXPECT_EQ(names[0], "x");
  EXPECT_EQ(names[3], d.get(2));
}

// ---- colours for a web page -------------------------------------------------------------------
// Every operation's colours and CSS class, and the window background, are in the dictionary's
// golden transcripts (text and JSON).

TEST(OperationColours, HostColoursBecomeCssHexWithRedInTheLowByte) {
  EXPECT_EQ(calc::css_colour(0x0000FF), "#ff0000");
  EXPECT_EQ(calc::css_colour(0xFF0000), "#0000ff");
  EXPECT_EQ(calc::css_colour(0x00FFFF), "#ffff00");
  EXPECT_EQ(calc::css_colour(0x000000), "#000000");
  EXPECT_EQ(calc::css_colour(0x1FFFFFFF), "#ffffff") << "no colour";
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

// One purpose code of each list, for an operation of no other rule; 19 is listed twice and
// the later rule wins.
TEST(WorkModeRules, EachPurposeListGivesItsWorkTypeAndProductionTime) {
  const Operations d;
  const struct {
    int code, work, prod;
  } lists[] = {{7, 2, 1}, {13, 3, 1}, {41, 4, 1}, {17, 5, 0}, {19, 6, 0}, {39, 0, 1}};
  for (const auto& list : lists) {
    SCOPED_TRACE("code " + std::to_string(list.code));
    int sub = 0;
    calc::ProdTimeType prod = 77;
    const std::string purpose = "(" + std::to_string(list.code) + ")";
    EXPECT_EQ(calc::detect_workmode(d, 0, {0.0, purpose}, sub, prod), list.work);
    EXPECT_EQ(prod, list.prod);
  }
  // A drilling purpose sets drilling for the drilling operations, auxiliary work for others.
  int sub = 31;
  calc::ProdTimeType prod = 0;
  for (int oper : {2, 8, 14, 15})
    EXPECT_EQ(calc::detect_workmode(d, oper, {0.0, "(46)"}, sub, prod), 1) << oper;
  for (int oper : {4, 3, 6, 21})
    EXPECT_EQ(calc::detect_workmode(d, oper, {0.0, "(46)"}, sub, prod), 2) << oper;
  sub = 31;
  EXPECT_EQ(calc::detect_workmode(d, 9, {0.0, "(46)"}, sub, prod), 0);
  EXPECT_EQ(sub, 31) << "an operation without sub-operations keeps the one it was given";
  calc::detect_workmode(d, 18, {0.0, ""}, sub, prod);
  EXPECT_EQ(sub, 27);
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
