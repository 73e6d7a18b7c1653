// The station loop end to end: a home folder, the emulator or the bus simulator over a
// pseudo-terminal, ticks, the shared export, a stop and a restart.
#include "station/station.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "core/config.h"
#include "core/shared_values.h"
#include "core/system.h"
#include "hardware/bus2017_sim.h"
#include "hardware/bus_sim_server.h"
#include "hardware/comm_protocols.h"
#include "hardware/old_bus_device.h"
#include "hardware/protocol.h"
#include "lib/pseudo_terminal.h"
#include "params/par_tabl.h"
#include "station/station_home.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

// A hub on a fake clock whose sleeps advance it, so the emulator's one-second pace costs
// no real time.
struct Rig {
  explicit Rig(const std::string& home, lib::FileSystem* fs = nullptr) {
    clock.set(2026, 12, 5, 12, 0, 0);
    reg::SystemOptions o;
    o.home_folder = home;
    o.clock = &clock;
    o.file_system = fs;
    o.sleep = [this](int ms) {
      clock.steady += ms;
      clock.now.seconds += ms / 1000;
    };
    hub = std::make_unique<reg::System>(o);
    st = std::make_unique<station::Station>(*hub);
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      clock.steady += 1000;
      st->tick();
    }
  }
  FakeClock clock;
  std::unique_ptr<reg::System> hub;
  std::unique_ptr<station::Station> st;
};

TEST(StationHome, FirstStartCreatesTheStationAndALaterStartCreatesNothing) {
  TempDir dir;
  const std::string home = dir.path() + "new-station/";
  {
    Rig rig(home);
    auto created = rig.st->open({"emulator", "", true, ""});
    ASSERT_GE(created.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(home + "global.ini"));
    EXPECT_TRUE(std::filesystem::exists(home + station::kParamTableFileName));
    EXPECT_GE(rig.hub->data_storage().par_tabl().find_global("вес_на_крюке"), 0);
    rig.st->close();
  }
  Rig again(home);
  EXPECT_TRUE(again.st->open({"emulator", "", true, ""}).empty());
  EXPECT_EQ(testing_support::read_file(home + "registr.errors.log"), "")
      << "neither start may log an error";
}

TEST(StationTick, EmulatedRawInputsBecomeTheRowsCalibratedValues) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  rig.ticks(3);
  EXPECT_EQ(rig.st->source().good_readings, 3u);
  DataStorage& ds = rig.hub->data_storage();
  int checked = 0;
  auto rows = rig.st->rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].has_raw) continue;
    const params::Param& row = ds.par_tabl()[static_cast<int>(i)];
    const double expected = row.calc_value_by_voltage(rows[i].raw, 1.0, lib::now(rig.clock));
    EXPECT_NEAR(ds.current_values()[static_cast<int>(i)], expected, 1e-9) << row.identifier;
    if (row.channel.type == params::kChannelAnalog) {
      EXPECT_GE(rows[i].raw, 1024) << row.identifier;
      EXPECT_LE(rows[i].raw, 4095) << row.identifier;
    }
    ++checked;
  }
  EXPECT_GE(checked, 10);

  // The export holds the depths and the three named values of the last tick.
  ds.set_depth_z(1234);
  ds.set_depth_cur(1200);
  rig.ticks(1);
  auto kvb = reg::read_shared_values(dir.file("data/kvb.dat"), rig.hub->shared_file_lock());
  ASSERT_TRUE(kvb);
  EXPECT_EQ(kvb->bottom_hole_depth, 1234);
  EXPECT_EQ(kvb->bit_depth, 1200);
  EXPECT_FLOAT_EQ(static_cast<float>(kvb->hook_load),
                  static_cast<float>(ds.current_values()["вес_на_крюке"]));
  EXPECT_FLOAT_EQ(static_cast<float>(kvb->inlet_pressure),
                  static_cast<float>(ds.current_values()["давление_на_входе"]));
}

TEST(StationTick, StopAndRestartRestoreDepthsAndAverages) {
  TempDir dir;
  double saved_average = 0;
  int row = -1;
  {
    Rig rig(dir.path());
    rig.st->open({"emulator", "", true, ""});
    rig.ticks(4);
    DataStorage& ds = rig.hub->data_storage();
    ds.set_depth_z(2500.5);
    ds.set_depth_cur(2400);
    row = ds.par_tabl().find_global("вес_на_крюке");
    ASSERT_GE(row, 0);
    ASSERT_GT(ds.par_tabl()[row].averaging, 1);
    saved_average = ds.average_values().average(row);
    rig.st->close();
  }
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  DataStorage& ds = rig.hub->data_storage();
  EXPECT_EQ(ds.depth_z(), 2500.5);
  EXPECT_EQ(ds.depth_cur(), 2400.0);
  EXPECT_DOUBLE_EQ(ds[row], saved_average) << "the first tick starts from the saved average";
  rig.st->close();

  Rig fresh(dir.path());
  fresh.st->open({"emulator", "", false, ""});
  EXPECT_EQ(fresh.hub->data_storage().depth_z(), 0.0) << "--no-restore starts clean";
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

TEST(StationHome, ASecondStationOnOneHomeIsRefusedWithTheFirstOnesProcessId) {
  TempDir dir;
  Rig first(dir.path());
  first.st->open({"emulator", "", true, ""});
  const std::string pid = std::to_string(::getpid());
  EXPECT_EQ(testing_support::read_file(dir.file(station::kHomeLockFileName)), pid + "\n");
  {
    Rig second(dir.path());
    try {
      second.st->open({"emulator", "", true, ""});
      FAIL() << "two stations on one home";
    } catch (const station::StationError& e) {
      EXPECT_NE(std::string(e.what()).find("another station (process " + pid + ")"),
                std::string::npos)
          << e.what();
    }
  }
  EXPECT_EQ(testing_support::read_file(dir.file(station::kHomeLockFileName)), pid + "\n")
      << "the refused station leaves the lock file alone";
  first.st->close();
  Rig third(dir.path());
  EXPECT_NO_THROW(third.st->open({"emulator", "", true, ""})) << "a closed station lets go";
}

TEST(StationOpen, TheStartNotesSayWhatWasRestoredKeptAndWhereTheLogIs) {
  TempDir dir;
  {
    Rig rig(dir.path());
    rig.st->open({"emulator", "", true, ""});
    EXPECT_NE(joined(rig.st->start_notes()).find("error log: " + dir.file("registr.errors.log")),
              std::string::npos)
        << joined(rig.st->start_notes());
    rig.ticks(2);
    ASSERT_TRUE(rig.st->close());
  }
  std::string bytes = testing_support::read_file(dir.file("sys.bin"));
  ASSERT_GT(bytes.size(), 100u);
  bytes[bytes.size() / 2] ^= 0x01;
  lib::write_file_atomically(dir.file("sys.bin"), bytes);
  lib::write_file_atomically(dir.file("sys.bin.tmp31337"), "half a save");

  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  const std::string notes = joined(rig.st->start_notes());
  EXPECT_NE(notes.find("removed 1 temporary file(s) of an interrupted save: sys.bin.tmp31337"),
            std::string::npos)
      << notes;
  EXPECT_NE(notes.find("module(s) from '" + dir.file("sys.bin") + "'; 1 damaged block(s) skipped"),
            std::string::npos)
      << notes;
  const std::string copy = dir.file("sys.bin.damaged-20261205-120000");
  EXPECT_NE(notes.find("the original file is kept as '" + copy + "'"), std::string::npos) << notes;
  EXPECT_EQ(testing_support::read_file(copy), bytes);
  EXPECT_FALSE(std::filesystem::exists(dir.file("sys.bin.tmp31337")));
}

TEST(StationTick, TheStateIsSavedEveryPeriodAndAFailureIsToldOnce) {
  TempDir dir;
  // The period comes from the settings unless the command line gives one.
  lib::write_file_atomically(dir.file("global.ini"),
                             "[запись_и_осреднение]\nпериод_сохранения_состояния=3\n");
  testing_support::FaultyFileSystem fs;
  Rig rig(dir.path(), &fs);
  rig.st->open({"emulator", "", true, ""});
  EXPECT_EQ(rig.hub->config().recording.state_save_period, 3);
  rig.ticks(3);
  EXPECT_FALSE(std::filesystem::exists(dir.file("sys.bin")));
  rig.ticks(1);
  EXPECT_TRUE(std::filesystem::exists(dir.file("sys.bin")));
  EXPECT_EQ(rig.st->take_save_message(), "");

  fs.only_paths_with = "sys.bin";
  fs.read_only = true;
  rig.ticks(3);
  const std::string failed = rig.st->take_save_message();
  EXPECT_NE(failed.find("the state could not be saved"), std::string::npos) << failed;
  EXPECT_NE(failed.find("Read-only file system"), std::string::npos) << failed;
  rig.ticks(3);
  EXPECT_EQ(rig.st->take_save_message(), "") << "told once, not every period";
  EXPECT_FALSE(rig.st->close()) << "the final save fails as well, and says so";

  fs.read_only = false;
  Rig again(dir.path(), &fs);
  again.st->open({"emulator", "", true, "", 1});
  again.ticks(2);
  EXPECT_EQ(again.st->take_save_message(), "");
  EXPECT_TRUE(again.st->close());
}

TEST(StationOpen, BadSourcesGiveClearErrors) {
  TempDir dir;
  Rig rig(dir.path());
  try {
    rig.st->open({"console", "/dev/nonexistent-rig-port", true, ""});
    FAIL() << "a missing port must refuse to start";
  } catch (const station::StationError& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/nonexistent-rig-port"), std::string::npos)
        << e.what();
  }
  Rig other(dir.path());
  EXPECT_THROW(other.st->open({"carrier-pigeon", "", true, ""}), station::StationError);
  EXPECT_EQ(station::protocol_id_of("emulator"), hardware::kProtocolEmulator);
  EXPECT_EQ(station::protocol_id_of("depth"), hardware::kProtocolDepthFast);
}

TEST(StationTick, ReadsTheBusSimulatorOverAPseudoTerminal) {
  TempDir dir;
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  hardware::OldBusDevice device;
  for (std::size_t i = 0; i < device.adc.size(); ++i)
    device.adc[i] = static_cast<std::uint16_t>(1024 + 100 * i);
  hardware::BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), device);
  server.start();

  reg::SystemOptions o;
  o.home_folder = dir.path();
  reg::System hub(o);
  station::Station st(hub);
  st.open({"console", pty.slave_path(), true, ""});
  for (int i = 0; i < 3; ++i) st.tick();
  st.close();
  server.stop();

  EXPECT_GE(st.source().good_readings, 2u);
  DataStorage& ds = hub.data_storage();
  const int hook = ds.par_tabl().find_global("вес_на_крюке");
  const params::Param& row = ds.par_tabl()[hook];
  ASSERT_EQ(row.channel.type, params::kChannelAnalog);
  const double raw = 1024 + 100 * row.channel.channel;
  EXPECT_NEAR(ds.current_values()[hook], row.calc_value_by_voltage(raw, 1.0), 1e-9);
}

TEST(StationTick, PollsA2017BusAtTheConfiguredAddresses) {
  TempDir dir;
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  hardware::Bus2017Sim sim;
  sim.add_module(1).adc[7] = 3210;
  sim.add_console(65);
  sim.add_module(2).adc[7] = 1;  // on the bus, but not served
  hardware::BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), sim);
  server.start();

  reg::SystemOptions o;
  o.home_folder = dir.path();
  reg::System hub(o);
  station::Station st(hub);
  st.open({"console2017", pty.slave_path(), true, "1,65"});
  EXPECT_EQ(st.source().port_text, "1,65");
  for (int i = 0; i < 2; ++i) st.tick();
  st.close();
  server.stop();

  EXPECT_EQ(st.source().good_readings, 2u);
  EXPECT_EQ(hub.comm_protocols().get_last_adc_value(1, 7), 3210);
  EXPECT_EQ(hub.comm_protocols().get_last_adc_value(2, 7), 0);
  EXPECT_EQ(hub.comm_protocols().device_types(),
            (std::map<std::int32_t, std::int32_t>{{1, 99}, {65, 99}}));
}

}  // namespace

namespace {

TEST(StationPlugins, TheExamplePluginComputesItsValuesEveryTick) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "plugins");
  std::filesystem::copy_file(RIGCORE_TEST_DERIVED_VALUES_PLUGIN,
                             dir.path() + "plugins/derived_values.so");
  lib::write_file_atomically(dir.file("derived_values.ini"), "двойной_вес = вес_на_крюке*2\n");
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  rig.ticks(2);
  const double hook = rig.hub->values().get("вес_на_крюке");
  EXPECT_GT(hook, 0.0);
  EXPECT_NEAR(rig.hub->values().get("двойной_вес"), 2 * hook, 1e-3 * hook);
  // The live view lists it among the registered values.
  bool listed = false;
  for (const auto& v : rig.st->registered_values())
    listed = listed || v.identifier == "двойной_вес";
  EXPECT_TRUE(listed);
  rig.st->close();
  EXPECT_EQ(testing_support::read_file(dir.file("registr.errors.log")), "");
}

}  // namespace
