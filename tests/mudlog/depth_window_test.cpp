// The web view's depth log answers: a window of a recorded run by the home's layout, and a
// clear refusal for a request it cannot answer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "lib/file_system.h"
#include "mudlog/recording_maker.h"
#include "support/fakes.h"
#include "web/depth_log_api.h"

namespace {

using mudlog_test::param;

struct Answer {
  const char* query;
  int status;
  const char* says;  // in the body
};

TEST(DepthWindow, AWindowOfTheRunOrAClearRefusal) {
  testing_support::TempDir home;
  auto& fs = lib::posix_file_system();
  lib::make_dirs(fs, home.file("records"));
  mudlog_test::RecordingMaker depth({param("нагрузка")});
  for (int i = 0; i <= 500; ++i) depth.line({1000 + 0.2 * i, 1800000000u + 30u * i, 2, {5}});
  depth.save(home.file("records/0003.realdep"));  // 1000 .. 1100 m, no lag file
  const web::DepthLogHome h{home.path(), &fs};
  const Answer answers[] = {
      {"", 200, "\"run\":3"},  // the newest run, its last 200 m
      {"run=3&from=1020&to=1040", 200, "\"from\":1020.0"},
      {"run=3&from=1040&to=1020", 200, "is reversed; shown from 1020 to 1040 m"},
      {"run=3&from=1000&to=1600", 400, "a window holds at most 500 m"},
      {"run=4", 404, "run 4 is not recorded"},
      {"run=x", 400, "'run' is not a run number"},
      {"run=3&from=deep", 400, "'from' is not a depth in metres"},
      {"run=3&to=%zz", 400, ""},
  };
  for (const Answer& a : answers) {
    const web::RouteAnswer r = web::depth_log_window(h, a.query);
    EXPECT_EQ(r.status, a.status) << a.query << ": " << r.body.substr(0, 300);
    EXPECT_NE(r.body.find(a.says), std::string::npos) << a.query << ": " << r.body.substr(0, 300);
  }
  const auto j = nlohmann::json::parse(web::depth_log_window(h, "").body);
  EXPECT_EQ(j["to"], 1100.0);
  EXPECT_EQ(j["from"], 900.0);
  // The starter layout (no layout file in this home) with its gas track against the lag depth.
  EXPECT_NE(j["notes"].dump().find("0003.reallag: no such file"), std::string::npos);
  bool drawn = false;
  for (const auto& t : j["tracks"])
    for (const auto& c : t.value("curves", nlohmann::json::array()))
      if (c["id"] == "нагрузка") drawn = !c["paths"].empty() && c["values"] == true;
  EXPECT_TRUE(drawn);
  const auto runs = nlohmann::json::parse(web::depth_log_runs(h).body);
  ASSERT_EQ(runs["runs"].size(), 1u);
  EXPECT_EQ(runs["runs"][0]["last"], 1100.0);
}

}  // namespace
