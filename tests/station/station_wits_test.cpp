#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "core/config.h"
#include "core/shared_values.h"
#include "lib/file_system.h"
#include "lib/ini_file.h"
#include "params/par_tabl.h"
#include "station/live_view.h"
#include "station_fixture.h"
#include "storage/data_storage.h"
#include "support/error_of.h"
#include "wits/loopback_server.h"
#include "wits/tcp_byte_source.h"
#include "wits/wits0_dump.h"
#include "wits/wits0_frames.h"
#include "wits/wits_dictionary.h"
#include "wits/wits_out_format.h"
#include "wits/wits_receiver_options.h"

using ::testing::HasSubstr;
using testing_support::Rig;
using testing_support::TempDir;
using wits_testing::eventually;
using wits_testing::LoopbackServer;

namespace {

using testing_support::error_of;

// A station home whose settings enable one WITS server on this machine's `port`, with
// `params_file` (in the home) mapping rows to it when not empty.
void enable_wits_server(const std::string& home, int port, const std::string& params_file = "") {
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
  if (!params_file.empty()) ini.set_string("wits_servers", "server0params_file", params_file);
  ini.set_string("прием_wits", "устаревание_wits", "3");
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

  // The age counts from the record's arrival, not from the tick that took it.
  ASSERT_TRUE(eventually(
      [&] { return rig.st->wits_receiver()->threads()[0]->last_record_ms().has_value(); }));
  rig.clock.steady += 5000;
  rig.ticks(1);
  ASSERT_TRUE(rig.st->wits_reading().servers().contains("rig.mwd"));
  wits::WITSCommIncomData reading = rig.st->wits_reading();
  EXPECT_DOUBLE_EQ(reading.get_value("rig.mwd", "0108"), 123.4);
  EXPECT_DOUBLE_EQ(rig.st->wits_servers()[0].last_record_age_s, 6.0);
  rig.ticks(3);
  const station::WitsServerView view = rig.st->wits_servers()[0];
  EXPECT_EQ(view.name, "rig.mwd");
  EXPECT_EQ(view.status, "прием");
  EXPECT_TRUE(view.running);
  EXPECT_DOUBLE_EQ(view.last_record_age_s, 9.0);
  EXPECT_EQ(station::wits_state_text(view), "WITS rig.mwd: прием, last record 9 s ago");

  station::LiveViewInput in;
  in.source = rig.st->source();
  in.wits = rig.st->wits_servers();
  EXPECT_THAT(station::live_view_lines(in)[2], HasSubstr("WITS rig.mwd: прием"));

  rig.st->close();
  EXPECT_TRUE(rig.st->wits_servers().empty());
}

TEST(StationWits, ARowMappedByItsServersFileTakesItsItemFromTheStreamEachTick) {
  TempDir dir;
  LoopbackServer peer;
  enable_wits_server(dir.path(), peer.port(), "mwd.cfg");
  lib::write_file_atomically(dir.file("mwd.cfg"),
                             "#version 1\nдавление_на_входе \"\" Pвх атм \"\" 0121\n",
                             lib::posix_file_system());
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  EXPECT_THAT(rig.st->start_notes(),
              ::testing::Contains(HasSubstr("WITS server 'rig.mwd': давление_на_входе")));
  params::ParTabl& table = rig.hub->data_storage().par_tabl();
  const int row = table.find_global("давление_на_входе");
  ASSERT_GE(row, 0);
  EXPECT_EQ(table[row].channel.type, params::kChannelWits);
  // The row keeps its conversion when WITS takes it over; here one that passes the WITS value
  // through (5 V full scale times 0.2 per volt).
  table[row].points.clear();
  table[row].range = 5;
  table[row].zero = 0;
  const auto view = [&] { return rig.st->rows()[static_cast<std::size_t>(row)]; };

  // Nothing received yet: not available, stale, and the emulator does not feed the row.
  rig.ticks(1);
  EXPECT_DOUBLE_EQ(view().raw, -32768.0);
  EXPECT_TRUE(view().stale);
  // The unavailable marker is a raw input, not a value to average or to alarm on.
  EXPECT_NE(view().value, -32768.0);

  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(peer.send("&&\r\n0121153.5\r\n0108 1200\r\n!!\r\n"));
  ASSERT_TRUE(eventually([&] {
    rig.ticks(1);
    return view().raw != -32768.0;
  }));
  EXPECT_DOUBLE_EQ(view().raw, 153.5);
  EXPECT_DOUBLE_EQ(rig.hub->data_storage().current_values()[row], 153.5);
  EXPECT_FALSE(view().stale);

  // Every tick takes the last complete record, not the first one.
  ASSERT_TRUE(peer.send("&&\r\n012199\r\n!!\r\n"));
  ASSERT_TRUE(eventually([&] {
    rig.ticks(1);
    return view().raw == 99.0;
  }));
  EXPECT_DOUBLE_EQ(rig.hub->data_storage().current_values()[row], 99.0);

  // A record not refreshed for longer than устаревание_wits (3 s here), or a server that is
  // gone, leaves the row stale everywhere: on screen and in --json (the row view), and NaN in
  // the shared export; the last value is kept, not shown as live.
  const auto exported = [&] {
    const auto kvb = reg::read_shared_values(dir.file("data/kvb.dat"), rig.hub->shared_file_lock(),
                                             lib::posix_file_system());
    return kvb ? kvb->inlet_pressure : 0.0;
  };
  rig.ticks(3);
  EXPECT_FALSE(view().stale);
  EXPECT_FALSE(std::isnan(exported()));
  rig.ticks(1);
  EXPECT_TRUE(view().stale);
  EXPECT_TRUE(std::isnan(exported()));
  EXPECT_DOUBLE_EQ(view().raw, -32768.0);
  EXPECT_DOUBLE_EQ(rig.hub->data_storage().current_values()[row], 99.0);
  ASSERT_TRUE(peer.send("&&\r\n012177\r\n!!\r\n"));
  ASSERT_TRUE(eventually([&] {
    rig.ticks(1);
    return !view().stale;
  }));
  EXPECT_FALSE(std::isnan(exported()));
  peer.shut_down();
  ASSERT_TRUE(eventually([&] { return rig.st->wits_servers()[0].status == "нет связи"; }));
  rig.ticks(1);
  EXPECT_TRUE(view().stale);
  EXPECT_TRUE(std::isnan(exported()));
  EXPECT_DOUBLE_EQ(rig.hub->data_storage().current_values()[row], 77.0);
  rig.st->close();
}

TEST(StationWits, AServersParameterFileThatCannotBeReadIsReportedAndMapsNothing) {
  TempDir dir;
  enable_wits_server(dir.path(), 1, "missing.cfg");
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  EXPECT_THAT(rig.st->start_notes(),
              ::testing::Contains(HasSubstr("WITS server 'rig.mwd': its parameter file '" +
                                            dir.file("missing.cfg") + "' cannot be read")));
  for (const params::Param& p : rig.hub->data_storage().par_tabl().rows())
    EXPECT_NE(p.channel.type, params::kChannelWits) << p.identifier;
  rig.st->close();
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

namespace {

std::string dictionary_file() {
  std::ifstream in(std::string(RIGCORE_WITS_TEST_DATA) + "wits0_dictionary_records1-25.csv",
                   std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

TEST(StationWits, TheStationsSenderIsReadBackByOurReceiverAndByTheDump) {
  TempDir dir;
  // A row fed by a server that never answers: stale, so it must not go out as a live value.
  enable_wits_server(dir.path(), 1, "silent.cfg");
  lib::write_file_atomically(dir.file("silent.cfg"),
                             "#version 1\nметан_абс \"\" \"\" \"\" \"\" 0140\n",
                             lib::posix_file_system());
  lib::write_file_atomically(dir.file("wits_out.cfg"),
                             "# parameter  code\n"
                             "вес_на_крюке 0114\n"
                             "давление_на_входе 0121\n"
                             "обороты_ротора 0820\n"
                             "нет_такого 0141\n"
                             "плохая строка 01\n"
                             "метан_абс 0140\n",
                             lib::posix_file_system());
  Rig rig(dir.path());
  station::StationSettings settings{"emulator", "", true, ""};
  settings.wits_out_port = 0;
  rig.st->open(settings);
  ASSERT_NE(rig.st->wits_sender(), nullptr);
  const int port = rig.st->wits_sender()->port();
  ASSERT_GT(port, 0);
  EXPECT_THAT(
      rig.st->start_notes(),
      ::testing::Contains(HasSubstr("the parameter 'нет_такого' is not in the parameter table")));
  EXPECT_THAT(rig.st->start_notes(), ::testing::Contains(HasSubstr("wits_out.cfg line 6")));
  EXPECT_THAT(
      rig.st->start_notes(),
      ::testing::Contains(HasSubstr("4 parameter(s) published on port " + std::to_string(port))));

  // Our own receiver, listening to the station as to any server of the rig.
  wits::WITSReceiverOptions servers;
  servers.servers().assign({wits::WITSServerOption("station", "127.0.0.1", port, "")});
  servers.servers()[0].enabled = true;
  testing_support::FakeClock clock;
  wits::WITSReceiver receiver(dir.path(), clock, lib::posix_file_system(),
                              {std::chrono::milliseconds(100), std::chrono::milliseconds(2000),
                               std::chrono::milliseconds(20), std::chrono::milliseconds(5)});
  receiver.set_options(servers);
  ASSERT_TRUE(eventually([&] { return rig.st->wits_sender()->client_count() == 1; }));
  wits::WITSCommIncomData reading;
  ASSERT_TRUE(eventually([&] {
    rig.ticks(1);
    receiver.read_data(reading);
    return reading.servers()["station"].contains(1) && reading.servers()["station"].contains(8);
  }));
  // Once the ticks stop, the receiver ends up with exactly the station's values (to the
  // seven digits sent).
  ds_tmp::DataStorage& ds = rig.hub->data_storage();
  const auto near = [](double a, double b) {
    return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
  };
  EXPECT_TRUE(eventually([&] {
    receiver.read_data(reading);
    return near(reading.get_value("station", "0114"), ds["вес_на_крюке"]) &&
           near(reading.get_value("station", "0121"), ds["давление_на_входе"]) &&
           near(reading.get_value("station", "0820"), ds["обороты_ротора"]);
  })) << reading.get_value("station", "0114")
      << " " << ds["вес_на_крюке"];
  EXPECT_NE(ds["давление_на_входе"], 0.0);
  // Neither the stale row nor the one the table lacks was ever sent.
  EXPECT_TRUE(rig.st
                  ->rows()[static_cast<std::size_t>(
                      rig.hub->data_storage().par_tabl().find_global("метан_абс"))]
                  .stale);
  EXPECT_FALSE(reading.servers()["station"][1].items.contains(40));
  EXPECT_FALSE(reading.servers()["station"][1].items.contains(41));
  receiver.terminate();
  // The sender notices the receiver gone when it next writes; until then the count below
  // would still be the receiver's, and the dump would wait for a frame sent before it came.
  ASSERT_TRUE(eventually([&] {
    rig.ticks(1);
    return rig.st->wits_sender()->client_count() == 0;
  }));

  // And the dump, with the item names of the dictionary.
  const wits::WitsDictionary dict = wits::WitsDictionary::parse(dictionary_file(), "dict.csv");
  wits::TcpByteSource client(std::chrono::milliseconds(5000));
  ASSERT_EQ(client.connect("127.0.0.1", port), std::nullopt);
  ASSERT_TRUE(eventually([&] { return rig.st->wits_sender()->client_count() == 1; }));
  rig.ticks(1);
  std::string dumped;
  ASSERT_EQ(wits::dump_frames(client, &dict, 2, [&](const std::string& s) { dumped += s; }), 2);
  EXPECT_THAT(dumped, HasSubstr("record 01 (2 items)\n  0114 HKLA  Hookload (avg) = " +
                                wits::value_text(ds["вес_на_крюке"]) + " KDN\n"));
  EXPECT_THAT(dumped, HasSubstr("record 08 (1 item)\n  0820 MR2C  Resis 2 (borehole corr) = " +
                                wits::value_text(ds["обороты_ротора"])));
  rig.st->close();
  EXPECT_EQ(rig.st->wits_sender()->running(), false);
}

TEST(StationWits, AFirstSenderWritesAStarterListAndListensOnLoopbackUnlessToldOtherwise) {
  TempDir dir;
  const auto open_sender = [](Rig& rig, const std::string& address, int port) {
    station::StationSettings settings{"emulator", "", true, ""};
    settings.wits_out_address = address;
    settings.wits_out_port = port;
    rig.st->open(settings);
    return rig.st->wits_sender()->port();
  };
  Rig rig(dir.path() + "a/");
  const int port = open_sender(rig, "127.0.0.1", 0);
  EXPECT_EQ(testing_support::read_file(dir.path() + "a/wits_out.cfg"),
            wits::out_format::kStarterList);
  EXPECT_THAT(rig.st->start_notes(), ::testing::Contains(HasSubstr("created the starter list")));
  EXPECT_THAT(rig.st->start_notes(),
              ::testing::Contains(HasSubstr("3 parameter(s) published on port " +
                                            std::to_string(port) + " of 127.0.0.1")));
  // Bound to the loopback address only: another loopback address takes the same port.
  wits::Wits0ServerOptions other;
  other.address = "127.0.0.2";
  other.port = port;
  EXPECT_EQ(wits::Wits0Server(other).start(), std::nullopt);

  // Another address when asked; a busy port or an unwritable home stops the start, saying why.
  Rig second(dir.path() + "b/");
  const int port2 = open_sender(second, "127.0.0.2", 0);
  wits::TcpByteSource client(std::chrono::milliseconds(2000));
  EXPECT_EQ(client.connect("127.0.0.2", port2), std::nullopt);
  EXPECT_NE(client.connect("127.0.0.1", port2), std::nullopt);
  LoopbackServer busy;
  testing_support::FaultyFileSystem read_only;
  read_only.read_only = true;
  read_only.only_paths_with = "wits_out.cfg";
  for (const auto& [home, fs, port3, message] :
       {std::tuple<std::string, lib::FileSystem*, int, std::string>{
            "c/", nullptr, busy.port(),
            "cannot listen on 127.0.0.1:" + std::to_string(busy.port())},
        {"d/", &read_only, 0,
         "write it by hand, one \"identifier RRII\" a line such as \"вес_на_крюке 0114\""}}) {
    Rig failing(dir.path() + home, fs);
    EXPECT_THAT(error_of<station::StationError>([&] { open_sender(failing, "127.0.0.1", port3); }),
                HasSubstr(message));
  }
  second.st->close();
  rig.st->close();
}
