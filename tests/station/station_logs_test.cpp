// Every log a running station writes keeps to the bounds of its settings, the WITS log of a
// server sending large records included.
#include <gtest/gtest.h>

#include <functional>

#include "core/config.h"
#include "core/error_log.h"
#include "core/registr_log_old.h"
#include "hardware/comm_protocols.h"
#include "lib/ini_file.h"
#include "station_fixture.h"
#include "wits/loopback_server.h"
#include "wits/wits0_format.h"
#include "wits/wits_receiver_options.h"

using testing_support::Rig;
using testing_support::TempDir;

TEST(StationLogs, EveryLogKeepsToTheSizeAndTheOldFilesOfTheSettings) {
  TempDir dir;
  wits_testing::LoopbackServer peer;
  {
    Rig first(dir.path());
    first.st->open({"emulator", "", true, ""});
    first.st->close();
  }
  lib::IniFile ini;
  ini.load_file(dir.file("global.ini"), lib::posix_file_system());
  ini.set_string("журналы", "размер_журнала", "1");
  ini.set_string("журналы", "старых_журналов", "1");
  wits::WITSReceiverOptions servers;
  servers.servers().assign({wits::WITSServerOption("mwd", "127.0.0.1", peer.port(), "")});
  servers.servers()[0].enabled = true;
  servers.write(ini);
  ini.save_file(dir.file("global.ini"), lib::posix_file_system());
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});

  // A day of a busy WITS server in a minute: records of 40 long items, 1.5 MiB of item lines.
  ASSERT_TRUE(peer.accept());
  std::string records;
  for (int r = 0; r < 160; ++r) {
    records += wits::kRecordStart;
    for (int item = 10; item < 50; ++item)
      wits::append_item_line(records, 1, item, std::string(240, 'v'));
    records += wits::kRecordEnd;
  }
  ASSERT_TRUE(peer.send(records));
  const std::string line(200, 'x');
  const std::function<void()> writers[] = {
      [&] { rig.hub->error_log().write(line); },
      [&] { rig.hub->registr_log_old().add(line); },
      [&] { rig.hub->comm_protocols().packet_log().write(line, -2); },
  };
  for (const auto& write : writers)
    for (int i = 0; i < 6000; ++i) write();
  ASSERT_TRUE(wits_testing::eventually(
      [&] { return lib::exists(lib::posix_file_system(), dir.file("wits_mwd.log.1")); }));
  rig.st->close();
  for (const char* name :
       {"registr.errors.log", "registr.events.log", "packets.log", "wits_mwd.log"}) {
    const std::string path = dir.file(name);
    for (const std::string& file : {path, path + ".1"}) {
      const auto status = lib::posix_file_system().stat(file);
      ASSERT_TRUE(status) << file;
      EXPECT_LE(status->size, 1 << 20) << file;
    }
    EXPECT_FALSE(lib::exists(lib::posix_file_system(), path + ".2")) << name;
  }
}
