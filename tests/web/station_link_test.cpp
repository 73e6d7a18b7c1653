// The web view over a whole station on the emulator: a scripted overpull seen in the tick's
// picture and in the history, and the writes a client makes carried out on the station.
#include <future>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "alarms/min_max_kinds.h"
#include "core/config.h"
#include "core/system.h"
#include "journals/text_storage.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "support/fakes.h"
#include "web/server.h"
#include "web/station_link.h"
#include "web_client.h"

namespace {

using ::testing::HasSubstr;
using testing_support::Rig;
using testing_support::TempDir;

const std::string kScenarios = RIGCORE_SCENARIOS;
const char* kHook = "вес_на_крюке";
const std::string kToken(64, 'e');

struct WebRig {
  WebRig() : rig(dir.path()) {
    station::StationSettings s;
    s.protocol = "emulator";
    s.scenario = kScenarios + "hook-overpull.txt";
    rig.st->open(s);
    auto& thresholds = rig.hub->config().min_max_values();
    thresholds.clear();
    thresholds.add(std::make_unique<alarms::MinMaxValue>(kHook, -1, 100));
    web::ServerOptions o;
    o.port = 0;
    o.token = kToken;
    server = std::make_unique<web::WebServer>(o, rig.clock);
    server->start();
    link = std::make_unique<web::StationLink>(*rig.st, *rig.hub, *server);
  }
  void tick() {
    link->before_tick();
    rig.clock.now.seconds += 1;
    rig.ticks(1);
    link->after_tick();
  }
  void run_to(double seconds) {
    while (!rig.st->scenario_finished() && rig.st->scenario_seconds() < seconds) tick();
  }
  nlohmann::json values() {
    return nlohmann::json::parse(web_test::get(server->port(), "/api/values").body);
  }
  static const nlohmann::json* row(const nlohmann::json& j, const std::string& id) {
    for (const auto& r : j["rows"])
      if (r["id"] == id) return &r;
    return nullptr;
  }
  TempDir dir;
  Rig rig;
  std::unique_ptr<web::WebServer> server;
  std::unique_ptr<web::StationLink> link;
};

TEST(WebStation, TheOverpullIsShownRedThenAcknowledgedThenGone) {
  WebRig w;
  w.run_to(55);
  auto j = w.values();
  ASSERT_NE(WebRig::row(j, kHook), nullptr) << j.dump();
  EXPECT_EQ((*WebRig::row(j, kHook))["value"], 80.0);
  EXPECT_FALSE((*WebRig::row(j, kHook))["alarm"].get<bool>());
  EXPECT_TRUE(j["alarms"].empty());
  EXPECT_EQ(j["rig"]["bottom"], 2000.0);
  EXPECT_EQ(j["rig"]["bit"], 1500.0);
  EXPECT_FALSE(j["rig"]["operation"]["name"].get<std::string>().empty());
  EXPECT_EQ(j["source"]["name"], w.rig.st->source().protocol_name);

  w.run_to(80);
  j = w.values();
  EXPECT_EQ((*WebRig::row(j, kHook))["value"], 120.0);
  EXPECT_TRUE((*WebRig::row(j, kHook))["alarm"].get<bool>());
  ASSERT_EQ(j["alarms"].size(), 1u);
  EXPECT_FALSE(j["alarms"][0]["acknowledged"].get<bool>());
  const std::string alarm = j["alarms"][0]["text"];

  EXPECT_EQ(w.link->carry_out({web::WriteRequest::Kind::ack, "no such alarm", {}}).first, 404);
  const auto ack = w.link->carry_out({web::WriteRequest::Kind::ack, alarm, {}});
  EXPECT_EQ(ack.first, 200) << ack.second;
  w.tick();
  j = w.values();
  ASSERT_EQ(j["alarms"].size(), 1u);
  EXPECT_TRUE(j["alarms"][0]["acknowledged"].get<bool>());

  w.run_to(100);
  j = w.values();
  EXPECT_FALSE((*WebRig::row(j, kHook))["alarm"].get<bool>());
  EXPECT_TRUE(j["alarms"].empty());

  // The history holds the whole pull, one value a tick.
  const auto h = nlohmann::json::parse(
      web_test::get(
          w.server->port(),
          "/api/history?params=%D0%B2%D0%B5%D1%81_%D0%BD%D0%B0_%D0%BA%D1%80%D1%8E%D0%BA%D0%B5")
          .body);
  const auto& hook = h["values"][kHook];
  ASSERT_EQ(hook.size(), h["t"].size());
  EXPECT_GE(hook.size(), 99u);
  double highest = 0;
  for (const auto& v : hook)
    if (v.is_number()) highest = std::max(highest, v.get<double>());
  EXPECT_EQ(highest, 120.0);
  for (std::size_t i = 1; i < h["t"].size(); ++i)
    EXPECT_GT(h["t"][i].get<double>(), h["t"][i - 1].get<double>());
}

TEST(WebStation, ClientsCorrectTheDepthAndWriteRemarksThroughTheStationsThread) {
  WebRig w;
  w.run_to(5);
  const auto port = w.server->port();
  auto post = [&](const std::string& target, const std::string& body) {
    auto reply = std::async(std::launch::async, [=] {
      return web_test::request(port, web_test::http::verb::post, target, body,
                               {{"Authorization", "Bearer " + kToken}});
    });
    // The station keeps ticking until the answer is there; each tick carries out writes.
    for (int i = 0;
         i < 200 && reply.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready; ++i)
      w.tick();
    return reply.get();
  };
  auto r = post("/api/command", "bottom 2100");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(w.values()["rig"]["bottom"], 2100.0);
  r = post("/api/command", "bottom deep");
  EXPECT_EQ(r.status, 422);
  EXPECT_THAT(r.body, HasSubstr("takes one number"));
  EXPECT_EQ(w.values()["rig"]["bottom"], 2100.0);

  // Two remarks within one second both stay.
  EXPECT_EQ(w.link->carry_out({web::WriteRequest::Kind::remark, "pump 2 repaired", {}}).first, 200);
  EXPECT_EQ(w.link->carry_out({web::WriteRequest::Kind::remark, "mud weight 1.18", {}}).first, 200);
  r = post("/api/remark", "bit changed");
  EXPECT_EQ(r.status, 200) << r.body;
  const auto remarks = w.values()["remarks"];
  ASSERT_EQ(remarks.size(), 3u);
  EXPECT_EQ(remarks[0]["text"], "pump 2 repaired");
  EXPECT_EQ(remarks[1]["text"], "mud weight 1.18");
  EXPECT_EQ(remarks[2]["text"], "bit changed");
  EXPECT_EQ(w.rig.hub->text_remarks().size(), 3);

  // A remark that reached the journal damaged by some other way never stops the tick: the
  // picture shows it mended.
  text::Record damaged;
  damaged.time = w.rig.hub->text_remarks()[2].time + 60;
  damaged.text = "ok text \xc3";
  w.rig.hub->text_remarks().add_record(damaged);
  w.tick();
  EXPECT_EQ(w.values()["remarks"][3]["text"], "ok text \uFFFD");
}

}  // namespace

namespace {

// The office link's state as the forwarder left it in the home: none, fresh, or left behind
// by a forwarder that stopped rewriting it.
TEST(WebStation, TheOfficeLinkIsShownFromTheForwardersStatusFile) {
  WebRig w;
  EXPECT_TRUE(w.link->snapshot()["office"].is_null());
  const std::string path = w.dir.path() + "data/forward.json";
  auto write_status = [&](std::int64_t age) {
    lib::write_file_atomically(path,
                               nlohmann::json{{"state", "connected"},
                                              {"backlog_lines", 120},
                                              {"backlog_seconds", 14.0},
                                              {"last_commit", "05.12.2026 11:59:58"},
                                              {"updated", w.rig.clock.now.seconds - age}}
                                   .dump(),
                               lib::posix_file_system(), false);
  };
  write_status(1);
  nlohmann::json office = w.link->snapshot()["office"];
  EXPECT_EQ(office["state"], "connected");
  EXPECT_EQ(office["backlog_lines"], 120);
  EXPECT_EQ(office["last_commit"], "05.12.2026 11:59:58");
  write_status(31);
  EXPECT_EQ(w.link->snapshot()["office"]["state"], "not running");
  lib::write_file_atomically(path, "{broken", lib::posix_file_system(), false);
  EXPECT_EQ(w.link->snapshot()["office"]["state"], "unknown");
}

}  // namespace
