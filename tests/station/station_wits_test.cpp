#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/config.h"
#include "lib/ini_file.h"
#include "station/live_view.h"
#include "station_fixture.h"
#include "wits/loopback_server.h"
#include "wits/wits_receiver_options.h"

using ::testing::HasSubstr;
using testing_support::Rig;
using testing_support::TempDir;
using wits_testing::eventually;
using wits_testing::LoopbackServer;

namespace {

// A station home whose settings enable one WITS server on this machine's `port`.
void enable_wits_server(const std::string& home, int port) {
  {
    Rig first(home);
    first.st->open({"emulator", "", true, ""});
    first.st->close();
  }
  lib::IniFile ini;
  ini.load_file(home + reg::kConfigFileName, lib::posix_file_system());
  wits::WITSReceiverOptions servers;
  servers.servers().assign({wits::WITSServerOption("rig.mwd", "127.0.0.1", port, "MWD")});
  servers.servers()[0].enabled = true;
  servers.write(ini);
  ini.save_file(home + reg::kConfigFileName, lib::posix_file_system());
}

}  // namespace

TEST(StationWits, TheStationListensToItsEnabledServersAndShowsTheAgeOfTheirRecords) {
  TempDir dir;
  LoopbackServer peer;
  enable_wits_server(dir.path(), peer.port());
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  ASSERT_EQ(rig.st->wits_servers().size(), 1u);
  EXPECT_EQ(rig.st->wits_servers()[0].last_record_age_s, -1);
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(peer.send("&&\r\n0108123.4\r\n0110 5\r\n!!\r\n"));

  wits::WITSCommIncomData reading;
  ASSERT_TRUE(eventually([&] {
    rig.st->tick();
    return rig.st->wits_reading().servers().contains("rig.mwd");
  }));
  reading = rig.st->wits_reading();
  EXPECT_DOUBLE_EQ(reading.get_value("rig.mwd", "0108"), 123.4);
  rig.ticks(3);
  const station::WitsServerView view = rig.st->wits_servers()[0];
  EXPECT_EQ(view.name, "rig.mwd");
  EXPECT_EQ(view.status, "прием");
  EXPECT_TRUE(view.running);
  EXPECT_DOUBLE_EQ(view.last_record_age_s, 3.0);
  EXPECT_EQ(station::wits_state_text(view), "WITS rig.mwd: прием, last record 3 s ago");

  station::LiveViewInput in;
  in.source = rig.st->source();
  in.wits = rig.st->wits_servers();
  EXPECT_THAT(station::live_view_lines(in)[2], HasSubstr("WITS rig.mwd: прием"));

  rig.st->close();
  EXPECT_TRUE(rig.st->wits_servers().empty());
}

TEST(StationWits, AStationWithoutEnabledServersHasNoWitsLine) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  rig.ticks(2);
  EXPECT_TRUE(rig.st->wits_servers().empty());
  station::LiveViewInput in;
  in.source = rig.st->source();
  for (const std::string& line : station::live_view_lines(in))
    EXPECT_THAT(line, ::testing::Not(HasSubstr("WITS")));
  rig.st->close();
}
