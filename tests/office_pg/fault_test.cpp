// The link as rigs have it, for real: a proxy that throttles, stalls and cuts; the database
// restarted mid-batch; the forwarder killed with SIGKILL twenty times mid-batch; the station
// killed while the forwarder ships; the forwarder down for a day. After each, the office
// holds exactly the recordings' lines (rec dump --csv against office export --csv), none
// lost and none doubled. TLS as libpq does it, with the server's certificate checked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <pwd.h>
#include <nlohmann/json.hpp>
#include <random>

#include "link_proxy.h"
#include "office/office_test_support.h"
#include "office_pg_support.h"

namespace {

using office_pg_test::Child;
using office_pg_test::count;
using office_pg_test::server;

void backlog(const std::string& home, int lines, std::size_t params,
             std::uint32_t start = 1775001540) {
  office_test::RecordingBytes r;
  r.time = start;
  r.version().text({{"номер_рейса", "1"}}).params(office_test::params(params)).lines(lines, params);
  office_test::write_file(home + "records/0001.realtim", r.bytes);
  office_test::RecordingBytes d;
  d.time = start;
  d.version().params(office_test::params(4)).lines(lines / 50, 4);
  office_test::write_file(home + "records/0001.realdep", d.bytes);
}

void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::vector<std::string> forward_args(const std::string& home, const std::string& url,
                                      std::vector<std::string> more) {
  std::vector<std::string> args = {"forward", "--home", home, "--db", url, "--rig", "r"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(OfficeLinkFaults, ALinkThatThrottlesStallsAndCutsLosesAndDoublesNothing) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  backlog(home, 4000, 40);
  office_pg_test::LinkProxy proxy(server().port());
  proxy.set_rate(96 << 10);
  proxy.set_mode(office_pg_test::LinkProxy::Mode::throttle);
  Child fw(forward_args(home, server().tcp_url(db, proxy.port()),
                        {"--drain", "--timeout", "2", "--batch-lines", "400"}),
           dir.path());
  sleep_ms(2500);
  proxy.set_mode(office_pg_test::LinkProxy::Mode::stall);
  sleep_ms(3500);
  proxy.set_mode(office_pg_test::LinkProxy::Mode::throttle);
  sleep_ms(1500);
  proxy.cut();
  sleep_ms(1500);
  proxy.cut();
  proxy.set_mode(office_pg_test::LinkProxy::Mode::pass);
  ASSERT_EQ(fw.wait(), 0) << fw.err();
  EXPECT_NE(fw.err().find("did not answer for 2 s"), std::string::npos) << fw.err();
  EXPECT_GE(proxy.connections_made(), 3u);
  office_pg_test::expect_office_holds_the_home(db, "r", home, dir.path());
}

TEST(OfficeLinkFaults, TheDatabaseRestartedInTheMiddleOfABatch) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  backlog(home, 12000, 60);
  Child fw(forward_args(home, server().url(db), {"--drain", "--batch-lines", "1500"}), dir.path());
  for (int i = 0; i < 1200 && count(db, "SELECT count(*) FROM lines") == "0"; ++i) sleep_ms(50);
  server().restart_immediate();
  ASSERT_EQ(fw.wait(), 0) << fw.err();
  EXPECT_NE(fw.err().find("office link lost"), std::string::npos) << fw.err();
  office_pg_test::expect_office_holds_the_home(db, "r", home, dir.path());
}

TEST(OfficeLinkFaults, TheForwarderKilledTwentyTimesInTheMiddleOfBatches) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  backlog(home, 20000, 30);
  std::mt19937 rng(33);
  std::vector<long> held;
  for (int i = 0; i < 20; ++i) {
    // Shipments of 100 lines held to about 250 kB/s: each run is killed in one, or between
    // two, a random moment after it reached the office.
    Child fw(forward_args(home, server().url(db),
                          {"--drain", "--batch-lines", "100", "--max-rate", "2000"}),
             dir.path());
    for (int w = 0; w < 1500 && fw.err().find("office link up") == std::string::npos; ++w)
      sleep_ms(20);
    sleep_ms(static_cast<int>(rng() % 400));
    fw.signal(SIGKILL);
    EXPECT_EQ(fw.wait(), -1) << "the forwarder ended before it was killed: " << fw.err();
    held.push_back(std::stol(count(db, "SELECT count(*) FROM lines")));
  }
  // Killed while shipping: the office held more after some kills, and not yet everything.
  EXPECT_LT(held.front(), held.back());
  EXPECT_LT(held.back(), 20000 + 400);
  EXPECT_TRUE(std::is_sorted(held.begin(), held.end()));
  Child last(forward_args(home, server().url(db), {"--drain"}), dir.path());
  ASSERT_EQ(last.wait(), 0) << last.err();
  office_pg_test::expect_office_holds_the_home(db, "r", home, dir.path());
}

TEST(OfficeLinkFaults, TheStationKilledWhileTheForwarderShips) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  std::filesystem::create_directories(home);
  for (const auto& [key, value] :
       {std::pair{"запись_по_времени", "1000"}, {"save_fast_file", "1"}}) {
    ASSERT_EQ(golden::run_program(
                  {"config", "set", "--home", home, "запись_и_осреднение", key, value}, dir.path())
                  .exit_code,
              0);
  }
  Child fw(forward_args(home, server().url(db), {}), dir.path());
  {
    Child station(
        {"run", "--home", home, "--race", "3", "--no-sound", "--json", "--protocol", "emulator"},
        dir.path());
    sleep_ms(6000);
    station.signal(SIGKILL);
    EXPECT_EQ(station.wait(), -1);
  }
  Child again({"run", "--home", home, "--race", "3", "--no-sound", "--seconds", "4", "--protocol",
               "emulator"},
              dir.path());
  ASSERT_EQ(again.wait(), 0) << again.err();
  sleep_ms(1500);
  fw.signal(SIGTERM);
  ASSERT_EQ(fw.wait(), 0) << fw.err();
  Child drain(forward_args(home, server().url(db), {"--drain"}), dir.path());
  ASSERT_EQ(drain.wait(), 0) << drain.err();
  office_pg_test::expect_office_holds_the_home(db, "r", home, dir.path());
  EXPECT_GE(std::stoi(count(db, "SELECT count(*) FROM lines WHERE kind = 4")), 6);
  // The station's live frame reached the office while both ran.
  EXPECT_EQ(count(db, "SELECT race, race_active FROM live_frames"), "3|t");
  const auto status = nlohmann::json::parse(testing_support::read_file(home + "data/forward.json"));
  EXPECT_EQ(status["state"], "stopped");
  EXPECT_EQ(status["caught_up"], true);
}

TEST(OfficeLinkFaults, TheForwarderDownForADayCatchesUp) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  backlog(home, 86400, 30, 1775001540 - 86400);
  Child fw(forward_args(home, server().url(db), {"--drain", "--json"}), dir.path());
  ASSERT_EQ(fw.wait(), 0) << fw.err();
  std::uint64_t most = 0;
  nlohmann::json last;
  for (const std::string& line : golden::split_lines(fw.out())) {
    last = nlohmann::json::parse(line);
    most = std::max<std::uint64_t>(most, last["backlog_lines"]);
  }
  // The backlog is told as it is (estimated from the bytes left), and is gone at the end.
  EXPECT_GT(most, 60000u);
  EXPECT_LT(most, 90000u);
  EXPECT_EQ(last["backlog_lines"], 0);
  EXPECT_EQ(last["caught_up"], true);
  office_pg_test::expect_office_holds_the_home(db, "r", home, dir.path());
}

TEST(OfficeLinkFaults, TlsWithTheServersCertificateChecked) {
  const std::string db = office_pg_test::fresh_database();
  const std::string certs = server().socket_dir() + "/";
  office_pg_test::certificate(certs, "server");
  office_pg_test::certificate(certs, "stranger");
  server().psql("postgres", "ALTER SYSTEM SET ssl_cert_file = '" + certs + "server.crt'");
  server().psql("postgres", "ALTER SYSTEM SET ssl_key_file = '" + certs + "server.key'");
  server().psql("postgres", "ALTER SYSTEM SET ssl = on");
  server().psql("postgres", "SELECT pg_reload_conf()");
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  backlog(home, 300, 10);
  const std::string tcp = server().tcp_url(db, server().port());
  Child stranger(
      forward_args(home, tcp + "?sslmode=verify-ca&sslrootcert=" + certs + "stranger.crt",
                   {"--drain"}),
      dir.path());
  sleep_ms(2500);
  stranger.signal(SIGTERM);
  EXPECT_EQ(stranger.wait(), 1);
  EXPECT_NE(stranger.err().find("certificate verify failed"), std::string::npos) << stranger.err();
  EXPECT_EQ(count(db, "SELECT count(*) FROM lines"), "0");
  Child trusted(forward_args(home, tcp + "?sslmode=verify-ca&sslrootcert=" + certs + "server.crt",
                             {"--drain"}),
                dir.path());
  // verify-ca connects over TLS or not at all.
  ASSERT_EQ(trusted.wait(), 0) << trusted.err();
  office_pg_test::expect_office_holds_the_home(db, "r", home, dir.path());
}

}  // namespace
