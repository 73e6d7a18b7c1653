// rigstation operations: the dictionary as an operator reads it (golden text) and as a web
// page or script reads it (JSON, checked against the reference tables).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "golden_harness.h"

namespace {

TEST(GoldenProgram, OperationDictionaryAsText) {
  golden::Transcript t("operations");
  EXPECT_EQ(t.run({"operations"}).exit_code, 0);
  t.check();
}

TEST(GoldenProgram, OperationDictionaryAsJson) {
  golden::Transcript t("operations_json");
  const golden::Run r = t.run({"operations", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.out.find('\n'), r.out.size() - 1) << "one document on one line";
  const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_FALSE(j.is_discarded()) << r.out;

  ASSERT_EQ(j["operations"].size(), 23u);
  ASSERT_EQ(j["suboperations"].size(), 36u);
  ASSERT_EQ(j["work_types"].size(), 9u);
  ASSERT_EQ(j["production_times"].size(), 3u);
  ASSERT_EQ(j["work_mode_rules"].size(), 10u);
  for (std::size_t i = 0; i < j["operations"].size(); ++i)
    EXPECT_EQ(j["operations"][i]["id"], i) << "listed in id order";

  const auto& drilling = j["operations"][2];
  EXPECT_EQ(drilling["key"], "oper_drill");
  EXPECT_EQ(drilling["color"]["host"], 0xCFCFFF);
  EXPECT_EQ(drilling["color"]["css"], "#ffcfcf");
  EXPECT_EQ(drilling["fill_color"]["css"], "#ffd0d0");
  EXPECT_EQ(drilling["wits_code"], 2);
  EXPECT_EQ(drilling["css_class"], "op-drill");
  EXPECT_EQ(drilling["suboperations"], nlohmann::json({7, 8}));
  EXPECT_EQ(j["operations"][4]["suboperations"], nlohmann::json({13, 14, 35}));
  EXPECT_EQ(j["operations"][0]["color"]["host"], 0xFF000005u);
  EXPECT_EQ(j["operations"][0]["color"]["css"], "#ffffff");

  EXPECT_EQ(j["suboperations"][35]["name"], "Снятие замера");
  EXPECT_EQ(j["suboperations"][35]["operation"], 4);
  EXPECT_EQ(j["work_types"][5]["name"], "Ликвидация аварии");
  EXPECT_EQ(j["production_times"][2]["name"], "НЗПВ");
  EXPECT_EQ(j["production_times"][2]["color"]["css"], "#a6caf0");

  EXPECT_EQ(j["work_mode_rules"][1]["operations"],
            nlohmann::json({4, 3, 6, 17, 18, 16, 13, 21, 22}));
  EXPECT_EQ(j["work_mode_rules"][2]["operations"], "any");
  EXPECT_EQ(j["work_mode_rules"][8]["purpose_codes"], "any");
  EXPECT_EQ(j["work_mode_rules"][8]["operations"], nlohmann::json({7}));
  EXPECT_EQ(j["work_mode_rules"][5]["work_type"], 5);
  EXPECT_EQ(j["work_mode_rules"][5]["prod_time"], 0);
}

}  // namespace
