// The office view against a real PostgreSQL: accounts and their roles, sessions that end,
// guessing held back, cross-site writes refused, bad input answered and a database that
// goes away and comes back; then the pages in headless Chromium over HTTPS, with the office
// filled by the forwarder from a station that played a scenario.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "office/web/accounts.h"
#include "office/web/office_server.h"
#include "office/web/office_web_format.h"
#include "office_pg_support.h"
#include "support/fakes.h"
#include "web/web_client.h"

namespace {

using office_pg_test::server;
namespace http = web_test::http;

constexpr const char* kPassword = "correct horse";

struct View {
  explicit View(const std::string& db, testing_support::FakeClock* clock = nullptr) {
    office::view::OfficeServerOptions o;
    o.db = db;
    o.port = 0;
    o.clock = clock;
    o.log = [this](const std::string& line) {
      std::lock_guard lock(mutex);
      log += line + "\n";
    };
    view = std::make_unique<office::view::OfficeServer>(o);
    view->start();
  }
  web_test::Reply post(const std::string& path, const nlohmann::json& body,
                       const std::string& cookie = {}, const std::string& origin = {}) {
    std::vector<std::pair<std::string, std::string>> fields = {{"Cookie", cookie}};
    if (!origin.empty()) fields.emplace_back("Origin", origin);
    return web_test::request(view->port(), http::verb::post, path, body.dump(), fields);
  }
  web_test::Reply get(const std::string& path, const std::string& cookie) {
    return web_test::request(view->port(), http::verb::get, path, {}, {{"Cookie", cookie}});
  }
  // The session cookie of a login, "" when refused.
  std::string login(const std::string& user, const std::string& password = kPassword) {
    const web_test::Reply r = post("/api/login", {{"user", user}, {"password", password}});
    if (r.status != 200) return "";
    const std::string set = std::string(r.message[http::field::set_cookie]);
    return set.substr(0, set.find(';'));
  }
  std::string logged() {
    std::lock_guard lock(mutex);
    return log;
  }
  std::mutex mutex;
  std::string log;
  std::unique_ptr<office::view::OfficeServer> view;
};

void add_users(const std::string& url) {
  office::pg::PgOfficeDb db(url);
  db.connection().connect();
  office::view::Accounts accounts(db.connection());
  accounts.add("reader", kPassword, office::view::Role::read);
  accounts.add("admin", kPassword, office::view::Role::write);
  EXPECT_THROW(accounts.add("admin", kPassword, office::view::Role::read),
               office::view::AccountError);
  for (const char* bad_name : {"", "имя", "a b", "x;drop"})
    EXPECT_THROW(accounts.add(bad_name, kPassword, office::view::Role::read),
                 office::view::AccountError)
        << bad_name;
  EXPECT_THROW(accounts.add("short", "1234567", office::view::Role::read),
               office::view::AccountError);
}

TEST(OfficeView, RolesSessionsAndGuessing) {
  const std::string db = office_pg_test::fresh_database();
  add_users(server().url(db));
  testing_support::FakeClock clock;
  View v(server().url(db), &clock);

  EXPECT_EQ(v.get("/api/fleet", "").status, 401);
  EXPECT_EQ(v.login("reader", "wrong password"), "");
  EXPECT_EQ(v.login("nobody"), "");
  const web_test::Reply ok = v.post("/api/login", {{"user", "reader"}, {"password", kPassword}});
  ASSERT_EQ(ok.status, 200) << ok.body;
  const std::string set = std::string(ok.message[http::field::set_cookie]);
  EXPECT_NE(set.find("HttpOnly"), std::string::npos) << set;
  EXPECT_NE(set.find("SameSite=Strict"), std::string::npos) << set;
  EXPECT_EQ(set.find("Secure"), std::string::npos) << "plain HTTP: " << set;
  const std::string reader = set.substr(0, set.find(';'));
  const std::string admin = v.login("admin");
  ASSERT_NE(admin, "");

  // The read role reads; the write role also manages accounts and titles.
  EXPECT_EQ(v.get("/api/fleet", reader).body, "[]");
  EXPECT_EQ(v.get("/api/users", reader).status, 403);
  EXPECT_EQ(
      v.post("/api/users/add", {{"user", "x"}, {"password", kPassword}, {"role", "read"}}, reader)
          .status,
      403);
  EXPECT_EQ(
      v.post("/api/users/add", {{"user", "geolog"}, {"password", kPassword}, {"role", "read"}},
             admin, "http://evil.example")
          .status,
      403);
  const std::string self = "http://127.0.0.1";  // the Host the client names
  EXPECT_EQ(v.post("/api/users/add",
                   {{"user", "geolog"}, {"password", kPassword}, {"role", "read"}}, admin, self)
                .status,
            200);
  EXPECT_NE(v.login("geolog"), "");
  EXPECT_EQ(v.post("/api/rig/title", {{"rig", "no such rig"}, {"title", "t"}}, admin).status, 404);

  // A new password ends the account's sessions; a session past its end is no session.
  EXPECT_EQ(
      v.post("/api/users/passwd", {{"user", "reader"}, {"password", "new password"}}, admin).status,
      200);
  EXPECT_EQ(v.get("/api/me", reader).status, 401);
  server().psql(db, "UPDATE office_sessions SET expires = now() - interval '1 second'");
  EXPECT_EQ(v.get("/api/me", admin).status, 401);
  EXPECT_EQ(v.post("/api/logout", {}, admin).status, 401);

  // Guessing: after kMaxFailedLogins failures the right password is refused too, until the
  // window has passed (the failures above have left it first).
  clock.steady += office::web_format::kLoginWindowSeconds * 1000;
  for (int i = 0; i < office::web_format::kMaxFailedLogins; ++i)
    EXPECT_EQ(v.post("/api/login", {{"user", "admin"}, {"password", "guess"}}).status, 401);
  const web_test::Reply held = v.post("/api/login", {{"user", "admin"}, {"password", kPassword}});
  EXPECT_EQ(held.status, 429);
  EXPECT_EQ(held.message["Retry-After"], std::to_string(office::web_format::kLoginWindowSeconds));
  clock.steady += office::web_format::kLoginWindowSeconds * 1000;
  EXPECT_NE(v.login("admin"), "");
  EXPECT_NE(v.logged().find("refused a login as 'admin' from 127.0.0.1"), std::string::npos);
}

TEST(OfficeView, BadInputAndADatabaseThatGoesAway) {
  const std::string db = office_pg_test::fresh_database();
  add_users(server().url(db));
  View v(server().url(db));
  const std::string admin = v.login("admin");
  ASSERT_NE(admin, "");
  struct Case {
    std::string path;
    int status;
  };
  for (const Case& c : std::vector<Case>{
           {"/api/rig?rig=nowhere", 404},
           {"/api/rig?rig=%FF%FE", 400},
           {"/api/history?rig=nowhere&race=1&params=a", 404},
           {"/api/history?rig=r&race=0&params=a", 400},
           {"/api/history?rig=r&race=1&file=sideways&params=a", 400},
           {"/api/export?rig=r&race=99999999999&format=las", 400},
           {"/api/nothing", 404},
       }) {
    EXPECT_EQ(v.get(c.path, admin).status, c.status) << c.path;
  }
  EXPECT_EQ(web_test::request(v.view->port(), http::verb::post, "/api/users/add",
                              "{\"user\":\"\xC3\x28\"}", {{"Cookie", admin}})
                .status,
            400);
  EXPECT_EQ(
      web_test::request(v.view->port(), http::verb::post, "/api/login", std::string(64 * 1024, 'x'))
          .status,
      413);

  // The database restarted under the view: each worker's broken connection answers 503 once
  // (said in the log), the next request connects again. A database that is not there: 503,
  // no crash.
  server().restart_immediate();
  std::vector<int> statuses;
  while (statuses.size() < 6 && (statuses.empty() || statuses.back() != 200))
    statuses.push_back(v.get("/api/fleet", admin).status);
  EXPECT_EQ(statuses.back(), 200) << testing::PrintToString(statuses);
  EXPECT_NE(v.logged().find("answers again"), std::string::npos) << v.logged();
  View nowhere(server().tcp_url(db, 1));
  const web_test::Reply gone = nowhere.post("/api/login", {{"user", "admin"}, {"password", "x"}});
  EXPECT_EQ(gone.status, 503);
  EXPECT_NE(gone.body.find("cannot be used"), std::string::npos) << gone.body;
  EXPECT_NE(nowhere.logged().find("the office database (" +
                                  office::pg::Connection::display(server().tcp_url(db, 1))),
            std::string::npos)
      << nowhere.logged();
}

TEST(OfficeView, ThePagesInABrowserOverHttps) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  // The account the browser logs in with, made by the command with its password on stdin.
  const lib::ProcessResult added = lib::system_process_runner().run(
      {"sh", "-c",
       std::string("echo '") + kPassword + "' | " + RIGCORE_TEST_RIGSTATION +
           " office user add --db '" + server().url(db) + "' chief --role write"});
  ASSERT_TRUE(added.ok()) << added.output;
  EXPECT_EQ(
      golden::run_program({"office", "user", "list", "--db", server().url(db)}, dir.path()).out,
      "chief\twrite\n");
  const std::string home = dir.path() + "home/";
  std::filesystem::create_directories(home);
  ASSERT_EQ(golden::run_program({"config", "set", "--home", home, "запись_и_осреднение",
                                 "запись_по_времени", "1000"},
                                dir.path())
                .exit_code,
            0);
  const golden::Run station = golden::run_program(
      {"run", "--home", home, "--race", "3", "--no-restore", "--no-sound", "--seconds", "8",
       "--scenario", std::string(RIGCORE_SCENARIOS) + "drill-stand.txt"},
      dir.path());
  ASSERT_EQ(station.exit_code, 0) << station.err;
  const std::string rig = "буровая 7";
  const golden::Run fw = golden::run_program(
      {"forward", "--home", home, "--db", server().url(db), "--rig", rig, "--drain"}, dir.path());
  ASSERT_EQ(fw.exit_code, 0) << fw.err;

  // Plain HTTP is for the loopback address only.
  const golden::Run open = golden::run_program(
      {"office", "serve", "--db", server().url(db), "--http", "0.0.0.0:0"}, dir.path());
  EXPECT_EQ(open.exit_code, 1);
  EXPECT_NE(open.err.find("plain HTTP is served on a loopback address only"), std::string::npos)
      << open.err;

  office_pg_test::certificate(dir.path(), "office");
  office_pg_test::Child serve(
      {"office", "serve", "--db", server().url(db), "--http", "127.0.0.1:0", "--cert",
       dir.path() + "office.crt", "--key", dir.path() + "office.key"},
      dir.path());
  std::string url;
  for (int i = 0; i < 200 && url.empty(); ++i) {
    std::smatch m;
    const std::string err = serve.err();
    if (std::regex_search(err, m, std::regex("serving (https://127\\.0\\.0\\.1:\\d+/)")))
      url = m[1];
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(url.empty()) << serve.err();
  const lib::ProcessResult browser =
      lib::system_process_runner().run({"node", RIGCORE_OFFICE_PAGE_CHECK, url, "chief", kPassword,
                                        rig, std::string(RIGCORE_ARTIFACTS) + "office-page.png"});
  EXPECT_TRUE(browser.ok()) << browser.error << "\n" << browser.output << "\n" << serve.err();
  serve.signal(SIGTERM);
  EXPECT_EQ(serve.wait(), 0) << serve.err();
}

}  // namespace
