// A WITS server that restarts again and again while it keeps sending: the station reconnects
// within a second of each return and its WITS-fed row keeps following the stream. Bounded in
// time, on this machine's loopback only.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/config.h"
#include "lib/file_system.h"
#include "lib/ini_file.h"
#include "params/par_tabl.h"
#include "station_fixture.h"
#include "storage/data_storage.h"
#include "wits/loopback_server.h"
#include "wits/wits0_frames.h"
#include "wits/wits0_server.h"
#include "wits/wits_receiver_options.h"

using namespace std::chrono_literals;
using testing_support::Rig;
using testing_support::TempDir;

namespace {

using SteadyClock = std::chrono::steady_clock;

wits::Wits0ServerOptions loopback(int port) {
  wits::Wits0ServerOptions o;
  o.address = "127.0.0.1";
  o.port = port;
  o.keep_alive = 0ms;
  return o;
}

}  // namespace

TEST(StationWitsSoak, AServerRestartedAgainAndAgainIsFollowedWithinASecondOfEachReturn) {
  constexpr int kRestarts = 5;
  TempDir dir;
  auto server = std::make_unique<wits::Wits0Server>(loopback(0));
  ASSERT_EQ(server->start(), std::nullopt);
  const int port = server->port();
  {
    Rig first(dir.path());
    first.st->open({"emulator", "", true, ""});
    first.st->close();
    lib::IniFile ini;
    ini.load_file(dir.path() + reg::kConfigFileName, lib::posix_file_system());
    wits::WITSReceiverOptions servers;
    servers.servers().assign({wits::WITSServerOption("rig", "127.0.0.1", port, "")});
    servers.servers()[0].enabled = true;
    servers.write(ini);
    ini.set_string("wits_servers", "server0params_file", "rig.cfg");
    ini.save_file(dir.path() + reg::kConfigFileName, lib::posix_file_system());
    lib::write_file_atomically(dir.file("rig.cfg"),
                               "#version 1\nдавление_на_входе \"\" \"\" \"\" \"\" 0121\n",
                               lib::posix_file_system());
  }
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  params::ParTabl& table = rig.hub->data_storage().par_tabl();
  const int row = table.find_global("давление_на_входе");
  ASSERT_GE(row, 0);
  ASSERT_EQ(table[row].channel.type, params::kChannelWits);
  table[row].points.clear();  // the WITS value as it comes
  table[row].range = 5;
  table[row].zero = 0;

  // A sender's pace (a record every 200 ms, within what a receiver reads: one record a pass),
  // the station ticking and looking every 20 ms.
  int sent = 0;
  int steps = 0;
  const auto step = [&] {
    if (steps++ % 10 == 0) server->publish(wits::make_frame(1, {{21, std::to_string(++sent)}}));
    rig.ticks(1);
    std::this_thread::sleep_for(20ms);
  };
  const auto shown = [&] { return rig.st->rows()[static_cast<std::size_t>(row)].raw; };
  const auto until = [&](const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = SteadyClock::now() + limit;
    while (SteadyClock::now() < end) {
      if (condition()) return true;
      step();
    }
    return condition();
  };

  ASSERT_TRUE(until([&] { return server->client_count() == 1; }, 5000ms));
  ASSERT_TRUE(until([&] { return shown() > 0; }, 5000ms));

  std::chrono::milliseconds slowest{0};
  for (int restart = 0; restart < kRestarts; ++restart) {
    // Records keep flowing for a while, the row follows them.
    const int before = sent;
    ASSERT_TRUE(until([&] { return shown() > before; }, 3000ms)) << "restart " << restart;

    // The server goes away mid-stream and comes back on the same port.
    server->stop();
    std::this_thread::sleep_for(300ms);
    rig.ticks(1);
    const double frozen = shown();
    std::this_thread::sleep_for(100ms);
    rig.ticks(3);
    EXPECT_EQ(shown(), frozen) << "nothing new while the server is down";
    server = std::make_unique<wits::Wits0Server>(loopback(port));
    ASSERT_EQ(server->start(), std::nullopt) << "restart " << restart;
    const auto back = SteadyClock::now();
    ASSERT_TRUE(until([&] { return server->client_count() == 1; }, 5000ms))
        << "restart " << restart;
    slowest = std::max(
        slowest, std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - back));
    // What the station shows now was sent after the return.
    const int returned_at = sent;
    ASSERT_TRUE(until([&] { return shown() > returned_at; }, 3000ms)) << "restart " << restart;
  }
  EXPECT_LT(slowest, 1000ms);
  const auto view = rig.st->wits_servers();
  ASSERT_EQ(view.size(), 1u);
  EXPECT_TRUE(view[0].running);
  rig.st->close();
}
