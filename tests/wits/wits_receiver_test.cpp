#include "wits/wits_receiver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "loopback_server.h"
#include "support/fakes.h"
#include "wits/wits0_format.h"

using namespace wits;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;
using testing_support::read_file;
using testing_support::TempDir;
using wits_testing::eventually;
using wits_testing::LoopbackServer;

namespace {

const std::string kSpecRecord = "&&\r\n0108123.4\r\n0110 5\r\n!!\r\n";

WITSServerOption server(const std::string& name, int port, bool enabled = true) {
  WITSServerOption o(name, "127.0.0.1", port, "test");
  o.enabled = enabled;
  return o;
}

WITSReceiverOptions options_of(std::initializer_list<WITSServerOption> servers) {
  WITSReceiverOptions o;
  o.servers().assign(servers);
  return o;
}

struct Station {
  TempDir dir;
  WITSReceiver receiver;
  std::atomic<int> changes{0};
  explicit Station(ZTSWaits waits = {})
      : receiver(dir.path(), lib::system_clock(), lib::posix_file_system(), waits) {
    receiver.set_on_change([this] { ++changes; });
  }
  ZTSThread& thread(std::size_t i = 0) { return *receiver.threads().at(i); }
  ZTSThreadStatus status(std::size_t i = 0) { return thread(i).is_working(); }
  std::string log(const std::string& name) { return read_file(dir.file(name)); }
};

}  // namespace

TEST(WITSReceiverTest, ARecordFromALiveServerIsHandedOutOnceWithItsLogs) {
  LoopbackServer peer;
  Station st;
  st.receiver.set_options(options_of({server("rig.1", peer.port())}));
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(peer.send(kSpecRecord));

  WITSCommIncomData reading;
  ASSERT_TRUE(eventually([&] { return st.receiver.read_data(reading); }));
  EXPECT_DOUBLE_EQ(reading.get_value("rig.1", "0108"), 123.4);
  EXPECT_EQ(reading.servers().at("rig.1").at(1).items.at(10), " 5");
  EXPECT_EQ(st.status(), ZTSThreadStatus::kReceiving);
  EXPECT_TRUE(st.thread().last_record_ms().has_value());
  // Handed out once; the reading keeps the copy.
  EXPECT_FALSE(st.receiver.read_data(reading));
  EXPECT_DOUBLE_EQ(reading.get_value("", "0108"), 123.4);

  // The next copy, while unfinished, is not handed out.
  ASSERT_TRUE(peer.send("&&\r\n0108200\r\n"));
  ASSERT_TRUE(
      eventually([&] { return st.thread().store().snapshot().at(1).items.at(8) == "200"; }));
  EXPECT_FALSE(st.receiver.read_data(reading));
  EXPECT_DOUBLE_EQ(reading.get_value("rig.1", "0108"), 123.4);
  ASSERT_TRUE(peer.send("!!\r\n"));
  ASSERT_TRUE(eventually([&] { return st.receiver.read_data(reading); }));
  EXPECT_DOUBLE_EQ(reading.get_value("rig.1", "0108"), 200.0);

  st.receiver.terminate();
  EXPECT_EQ(st.receiver.status_text(), "Прием WITS откл.");
  const std::string log = st.log("wits_rig_1.log");
  EXPECT_THAT(log, HasSubstr("Thread started"));
  EXPECT_THAT(log, HasSubstr("Socket connected"));
  EXPECT_THAT(log, HasSubstr(") 0108123.4\n"));
  EXPECT_THAT(log, HasSubstr("record 1 ready!"));
  EXPECT_THAT(log, HasSubstr("Thread stopped"));
  EXPECT_GE(st.changes.load(), 1);
}

TEST(WITSReceiverTest, EveryRecordAlreadyReceivedIsTakenBeforeThePauseAndTheLogStaysBounded) {
  // A sender far ahead of one record a pass: its 400 records are all in the socket at once,
  // and the last of them is handed out within a pass or two, not one record per pass later.
  LoopbackServer peer;
  Station st;
  st.receiver.set_log_limits({4096, 2});
  st.receiver.set_options(options_of({server("A", peer.port())}));
  ASSERT_TRUE(peer.accept());
  std::string burst;
  for (int n = 1; n <= 400; ++n) {
    burst += kRecordStart;
    append_item_line(burst, 1, 8, std::to_string(n));
    burst += kRecordEnd;
  }
  ASSERT_TRUE(peer.send(burst));
  WITSCommIncomData reading;
  EXPECT_TRUE(eventually([&] {
    st.receiver.read_data(reading);
    return reading.get_value("A", "0108") == 400;
  })) << reading.get_value("A", "0108");
  // Its log, two lines a record, stays within its bounds: the newest lines, two old files.
  st.receiver.terminate();
  for (const char* name : {"wits_A.log", "wits_A.log.1", "wits_A.log.2"})
    EXPECT_LE(st.log(name).size(), 4096u) << name;
  EXPECT_THAT(st.log("wits_A.log"), HasSubstr("Thread stopped"));
  EXPECT_THAT(st.log("wits_A.log.1"), Not(testing::IsEmpty()));
  EXPECT_FALSE(lib::exists(lib::posix_file_system(), st.dir.file("wits_A.log.3")));
}

TEST(WITSReceiverTest, ARestartedServerIsReconnectedWithinASecond) {
  LoopbackServer peer;
  const int port = peer.port();
  Station st;
  st.receiver.set_options(options_of({server("A", port)}));
  WITSCommIncomData reading;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(peer.accept()) << round;
    ASSERT_TRUE(peer.send("&&\r\n0108" + std::to_string(round) + "\r\n!!\r\n"));
    ASSERT_TRUE(eventually([&] { return st.receiver.read_data(reading); })) << round;
    EXPECT_DOUBLE_EQ(reading.get_value("A", "0108"), round);
    peer.shut_down();
    // While the server is down, connections are refused and the thread keeps turning.
    ASSERT_TRUE(eventually([&] { return st.status() == ZTSThreadStatus::kNotConnected; }));
    const auto progress = st.thread().progress();
    ASSERT_TRUE(eventually([&] { return st.thread().progress() > progress + 1; }));
    peer.listen(port);
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(peer.accept(1500ms)) << round;
    EXPECT_LT(std::chrono::steady_clock::now() - back, 1000ms) << round;
  }
  EXPECT_TRUE(st.thread().running());
  st.receiver.terminate();
  EXPECT_THAT(st.log("wits_A.log"), HasSubstr("Connection failed: "));
}

TEST(WITSReceiverTest, AServerThatNeverSendsLeavesTheThreadConnectedAndTurning) {
  LoopbackServer peer;
  Station st;
  st.receiver.set_options(options_of({server("A", peer.port())}));
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(eventually([&] { return st.status() == ZTSThreadStatus::kConnected; }));
  EXPECT_THAT(st.receiver.status_text(), "A: подключен");
  st.thread().check_wd_counter();
  const auto progress = st.thread().progress();
  ASSERT_TRUE(eventually([&] { return st.thread().progress() > progress; }));
  EXPECT_FALSE(st.thread().check_wd_counter());
}

TEST(WITSReceiverTest, StopCutsALongWaitInsideARecordShort) {
  LoopbackServer peer;
  Station st;  // the full 20 s stream time-out
  st.receiver.set_options(options_of({server("A", peer.port())}));
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(peer.send("&&\r\n0108 1\r\n"));
  ASSERT_TRUE(eventually([&] { return st.status() == ZTSThreadStatus::kReceiving; }));
  const auto before = std::chrono::steady_clock::now();
  st.receiver.terminate();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1000ms);
}

TEST(WITSReceiverTest, GarbageAndOverlongLinesDoNotStopTheNextRecord) {
  LoopbackServer peer;
  Station st;
  st.receiver.set_options(options_of({server("A", peer.port())}));
  ASSERT_TRUE(peer.accept());
  std::string noise;
  for (int i = 0; i < 200000; ++i) noise.push_back(static_cast<char>((i * 7919) % 251));
  ASSERT_TRUE(peer.send(noise));
  ASSERT_TRUE(peer.send("&&\r\n0105 a\r\n0106" + std::string(5000, 'x') + "\r\n!!\r\n"));
  ASSERT_TRUE(peer.send(kSpecRecord));
  WITSCommIncomData reading;
  ASSERT_TRUE(eventually([&] { return st.receiver.read_data(reading); }));
  const WITSRecord& r = reading.servers().at("A").at(1);
  EXPECT_EQ(r.items.at(8), "123.4");
  // The copy cut by the overlong line was never handed out; its first item stays stored
  // and goes out with the next complete copy.
  EXPECT_EQ(r.items.at(5), " a");
  EXPECT_FALSE(r.items.contains(6));
  EXPECT_THAT(st.log("wits_A.log"), HasSubstr("line longer than 254 bytes"));
}

TEST(WITSReceiverTest, EqualOptionsLeaveTheThreadsAloneOthersReplaceThem) {
  LoopbackServer peer;
  Station st;
  const WITSReceiverOptions first =
      options_of({server("A", peer.port()), server("off", peer.port(), false)});
  st.receiver.set_options(first);
  EXPECT_TRUE(st.receiver.wd_timer_active());
  EXPECT_EQ(st.receiver.wd_interval_ms(), 60000);
  ASSERT_EQ(st.receiver.threads().size(), 1u);
  const auto running = st.thread().generation();
  WITSReceiverOptions same = first;
  same.servers()[0].params_file = "other.txt";  // not part of a server's identity
  st.receiver.set_options(same);
  EXPECT_EQ(st.thread().generation(), running);

  // Feed a record under "A", then rename the server: the reading drops "A".
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(peer.send(kSpecRecord));
  WITSCommIncomData reading;
  ASSERT_TRUE(eventually([&] { return st.receiver.read_data(reading); }));
  WITSReceiverOptions renamed = first;
  renamed.servers()[0].name = "B";
  st.receiver.set_options(renamed);
  ASSERT_EQ(st.receiver.threads().size(), 1u);
  EXPECT_EQ(st.thread().options().name, "B");
  st.receiver.read_data(reading);
  EXPECT_FALSE(reading.servers().contains("A"));
  EXPECT_DOUBLE_EQ(reading.get_value("A", "0108"), kNotAvailable);
}

TEST(WITSReceiverTest, TheWatchdogReplacesADeadThreadAndSparesALiveOne) {
  LoopbackServer peer;
  Station st;
  // A port no TCP connection can use ends that thread with an error.
  st.receiver.set_options(options_of({server("live", peer.port()), server("dead", -1)}));
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(eventually([&] { return !st.thread(1).running(); }));
  EXPECT_THAT(st.log(kReceiverLogFileName), HasSubstr("Thread exception (dead)"));
  EXPECT_THAT(st.receiver.status_text(), HasSubstr("dead: нет связи (поток остановлен)"));

  const auto live = st.thread(0).generation();
  const auto dead = st.thread(1).generation();
  const auto progress = st.thread(0).progress();
  ASSERT_TRUE(eventually([&] { return st.thread(0).progress() > progress; }));
  st.receiver.on_wd_timer();
  EXPECT_EQ(st.thread(0).generation(), live);
  EXPECT_NE(st.thread(1).generation(), dead);
  EXPECT_EQ(st.thread(1).options().name, "dead");

  const std::string log = st.log(kReceiverLogFileName);
  EXPECT_THAT(log, HasSubstr("Thread dead is not running, killing it..."));
  EXPECT_THAT(log, HasSubstr("Thread killed."));
  EXPECT_THAT(log, HasSubstr("Thread restarted"));
  EXPECT_THAT(log, Not(HasSubstr("Thread live")));
}

TEST(WITSReceiverTest, SoakAServerRestartingWhileRecordsFlow) {
  // Six lives of a server, each sending records for a while and then going down (sometimes
  // in the middle of a record). Each record carries one counter in two items, so a record
  // handed out half old, half new would show two different numbers.
  constexpr int kLives = 6;
  LoopbackServer peer;
  const int port = peer.port();
  std::atomic<int> sent{0};
  std::atomic<bool> server_failed{false};
  std::atomic<bool> server_done{false};
  Station st;
  st.receiver.set_options(options_of({server("A", port)}));
  std::thread server_thread([&] {
    int counter = 0;
    for (int life = 0; life < kLives; ++life) {
      if (life > 0) peer.listen(port);
      if (!peer.accept(3000ms)) {
        server_failed = true;
        return;
      }
      const auto until = std::chrono::steady_clock::now() + 900ms;
      while (std::chrono::steady_clock::now() < until) {
        ++counter;
        std::string record(kRecordStart);
        append_item_line(record, 1, 8, std::to_string(counter));
        append_item_line(record, 1, 10, std::to_string(counter));
        record += kRecordEnd;
        if (!peer.send(record)) break;
        sent = counter;
        // A rig's pace: the receiver takes one record per pass of its loop (at least 100 ms).
        std::this_thread::sleep_for(150ms);
      }
      // Go down mid-record on odd lives.
      if (life % 2 == 1) peer.send("&&\r\n0108999999\r\n");
      peer.shut_down();
      std::this_thread::sleep_for(150ms);
    }
    server_done = true;
  });

  WITSCommIncomData reading;
  std::vector<int> seen;
  const auto until = std::chrono::steady_clock::now() + 12s;
  bool torn = false;
  while (std::chrono::steady_clock::now() < until && !server_failed && !server_done) {
    if (st.receiver.read_data(reading)) {
      const auto& items = reading.servers().at("A").at(1).items;
      torn = torn || items.at(8) != items.at(10);
      seen.push_back(std::stoi(items.at(8)));
    }
    std::this_thread::sleep_for(20ms);
  }
  server_thread.join();
  ASSERT_FALSE(server_failed) << "the receiver did not come back to a restarted server";
  EXPECT_FALSE(torn);
  // Values kept updating through every life and never went back.
  ASSERT_GE(seen.size(), static_cast<std::size_t>(kLives * 3));
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GT(seen.back(), sent.load() * 4 / 5);
  EXPECT_TRUE(st.thread().running());
}

TEST(WITSReceiverTest, TheWatchdogReplacesAThreadCaughtInEndlessNoise) {
  // A peer streaming bytes that never hold a record start keeps the thread inside one read:
  // its progress counter stops and the watchdog replaces it, cutting the read short.
  LoopbackServer peer;
  Station st;
  st.receiver.set_options(options_of({server("A", peer.port())}));
  ASSERT_TRUE(peer.accept());
  std::atomic<bool> stop_noise{false};
  std::thread noise([&] {
    std::string chunk(65536, '\0');
    for (long i = 0; !stop_noise;) {
      // Neighbouring bytes always differ, so "&&" never occurs.
      for (char& c : chunk) c = static_cast<char>((i++ * 7919) % 251);
      if (!peer.send(chunk)) break;
    }
  });
  ASSERT_TRUE(eventually([&] { return st.thread().progress() > 0; }));
  std::this_thread::sleep_for(300ms);
  const auto stuck = st.thread().generation();
  st.receiver.on_wd_timer();  // the counter moved since the start: spared
  EXPECT_EQ(st.thread().generation(), stuck);
  std::this_thread::sleep_for(300ms);
  const auto before = std::chrono::steady_clock::now();
  st.receiver.on_wd_timer();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1000ms);
  EXPECT_NE(st.thread().generation(), stuck);
  // The killed thread's connection is closed, so the sender's next write fails.
  stop_noise = true;
  noise.join();
  peer.close_client();
  EXPECT_THAT(st.log(kReceiverLogFileName), HasSubstr("Thread A is not running, killing it..."));
}
