// The station loop end to end: a home folder, the emulator or the bus simulator over a
// pseudo-terminal, ticks, the shared export, a stop and a restart.
#include "station/station.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>

#include "core/config.h"
#include "core/shared_values.h"
#include "core/system.h"
#include "hardware/comm_protocols.h"
#include "hardware/protocol.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/bus_sim_server.h"
#include "hardware/sim/old_bus_device.h"
#include "lib/pseudo_terminal.h"
#include "params/all_params.h"
#include "params/file_builder.h"
#include "params/par_tabl.h"
#include "plugin_host/plugin_manager.h"
#include "pore/pore_opt.h"
#include "pore/projected_wellbore.h"
#include "station/station_fixture.h"
#include "station/station_home.h"
#include "storage/data_storage.h"
#include "storage/live_frame.h"
#include "storage/live_frame_format.h"
#include "support/error_of.h"
#include "support/fakes.h"

using ::testing::AllOf;
using ::testing::HasSubstr;
using testing_support::error_of;
using testing_support::FakeClock;
using testing_support::Rig;
using testing_support::TempDir;

namespace {

TEST(StationHome, FirstStartCreatesTheStationAndALaterStartCreatesNothing) {
  TempDir dir;
  const std::string home = dir.path() + "new-station/";
  {
    Rig rig(home);
    auto created = rig.st->open({"emulator", "", true, ""});
    ASSERT_GE(created.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(home + "global.ini"));
    EXPECT_TRUE(std::filesystem::exists(home + station::kParamTableFileName));
    EXPECT_TRUE(std::filesystem::exists(home + "log_layout.ini"));
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
  ds_tmp::DataStorage& ds = rig.hub->data_storage();
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
  auto kvb = reg::read_shared_values(dir.file("data/kvb.dat"), rig.hub->shared_file_lock(),
                                     lib::posix_file_system());
  ASSERT_TRUE(kvb);
  const auto narrowed = [&](const char* id) {
    return static_cast<double>(static_cast<float>(ds.current_values()[id]));
  };
  EXPECT_EQ(*kvb, (reg::SharedValues{1234, 1200, narrowed("вес_на_крюке"), narrowed("тальблок"),
                                     narrowed("давление_на_входе")}));
}

// One option of a settings block in the state file, as it is stored: section, key and value
// text, each a 32-bit length and UTF-8 bytes.
std::string stored_option(const std::string& section, const std::string& key,
                          const std::string& text) {
  std::string out;
  for (const std::string* s : {&section, &key, &text}) {
    const auto n = static_cast<std::uint32_t>(s->size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
    out += *s;
  }
  return out;
}

TEST(StationHome, ANewStationComputesByMinimumCurvatureAndAStationThatChoseAnotherKeepsIt) {
  TempDir dir;
  const std::string section = pore::ProjectedWellbore::kSection;
  const std::string fresh = dir.path() + "fresh/";
  {
    Rig rig(fresh);
    rig.st->open({"emulator", "", true, ""});
    EXPECT_EQ(rig.hub->pore_opt().projected().method(), pore::WbCalcMethod::kMinimumCurvature);
    ASSERT_TRUE(rig.st->close());
  }
  // What the new station wrote says so itself, not only the default of the next start.
  const std::string fresh_state = testing_support::read_file(fresh + "sys.bin");
  EXPECT_NE(fresh_state.find(stored_option(section, "method", "2")), std::string::npos);

  // A station whose saved state holds average angle (0), as every station saved before
  // minimum curvature existed: it keeps 0 across restarts and saves.
  const std::string old = dir.path() + "old/";
  {
    Rig rig(old);
    rig.st->open({"emulator", "", true, ""});
    rig.hub->pore_opt().projected().set_method(pore::WbCalcMethod::kAverageAngle);
    ASSERT_TRUE(rig.st->close());
  }
  ASSERT_NE(testing_support::read_file(old + "sys.bin").find(stored_option(section, "method", "0")),
            std::string::npos);
  for (int start = 0; start < 2; ++start) {
    Rig rig(old);
    rig.st->open({"emulator", "", true, ""});
    EXPECT_EQ(rig.hub->pore_opt().projected().method(), pore::WbCalcMethod::kAverageAngle);
    ASSERT_TRUE(rig.st->close());
  }
  EXPECT_NE(testing_support::read_file(old + "sys.bin").find(stored_option(section, "method", "0")),
            std::string::npos);
  EXPECT_EQ(testing_support::read_file(old + "registr.errors.log"), "");
}

// The starter table as written and read back, every row with total gas among them, is the
// golden params_show transcript; here the rows it must refuse.
TEST(StationHome, AStarterTableRefusesARowTheCatalogueLacksOrItsRulesDrop) {
  TempDir dir;
  params::AllParams catalogue(dir.path(), lib::posix_file_system());
  const station::StarterRow unknown[] = {
      {"вес_на_крюке", params::kChannelAnalog, 0, 1024, 0, 4095, 200, 3},
      {"суммарный_газ", params::kChannelAnalog, 8, 1024, 0, 4095, 5, 1},
  };
  const std::string other = dir.file("other.tbl");
  EXPECT_THAT(error_of<std::runtime_error>([&] {
                station::write_starter_table(lib::posix_file_system(), other, catalogue, 0,
                                             unknown);
              }),
              HasSubstr("суммарный_газ"))
      << "an identifier outside the catalogue must not be skipped quietly";
  EXPECT_FALSE(std::filesystem::exists(other));
  // Total gas alone would be dropped by the table's rules (it is summed from components).
  const station::StarterRow dropped[] = {
      {"сумм_газ", params::kChannelAnalog, 8, 1024, 0, 4095, 5, 1},
  };
  EXPECT_THAT(error_of<std::runtime_error>([&] {
                station::write_starter_table(lib::posix_file_system(), other, catalogue, 0,
                                             dropped);
              }),
              HasSubstr("dependency rules"))
      << "a row the table's rules drop must not be skipped quietly";
  EXPECT_FALSE(std::filesystem::exists(other));
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

TEST(StationHome, ASecondStationOnOneHomeIsRefusedWithTheFirstOnesProcessId) {
  TempDir dir;
  lib::FileSystem& fs = lib::posix_file_system();
  const std::string pid = std::to_string(::getpid());
  {
    station::HomeLock first(fs, dir.path());
    EXPECT_EQ(station::home_holder(fs, dir.path()), pid);
    EXPECT_THAT(error_of<station::HomeLockError>([&] { station::HomeLock second(fs, dir.path()); }),
                HasSubstr("another station (process " + pid + ")"))
        << "two stations on one home";
    EXPECT_EQ(testing_support::read_file(dir.file(station::kHomeLockFileName)), pid + "\n")
        << "the refused station leaves the lock file alone";
  }
  EXPECT_EQ(station::home_holder(fs, dir.path()), std::nullopt) << "a released lock lets go";
  EXPECT_NO_THROW(station::HomeLock third(fs, dir.path()));
}

TEST(StationHome, AFolderThatCannotBeMadeStopsTheStartNamingItAndWhy) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  fs.mkdir_errno = EACCES;
  fs.only_paths_with = "/data";
  Rig rig(dir.path(), &fs);
  EXPECT_THAT(
      error_of<station::StationError>([&] {
        rig.st->open({"emulator", "", true, ""});
      }),
      AllOf(HasSubstr(dir.path() + station::kDataFolder), HasSubstr(lib::errno_text(EACCES))))
      << "started without its data folder";
  EXPECT_FALSE(std::filesystem::exists(dir.file(station::kDataFolder)));
  EXPECT_FALSE(std::filesystem::exists(dir.file("global.ini"))) << "nothing half-made";
}

// Whatever keeps the starter table from being made (here the file cannot be opened; a row
// unknown to the catalogue is refused the same way, see above) stops the start on screen
// and in the error log.
TEST(StationHome, AStarterTableThatCannotBeMadeStopsTheStartAndIsLogged) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  fs.fail_open_with = station::kParamTableFileName;
  Rig rig(dir.path(), &fs);
  const std::string table = dir.file(station::kParamTableFileName);
  EXPECT_THAT(error_of<station::StationError>([&] {
                rig.st->open({"emulator", "", true, ""});
              }),
              AllOf(HasSubstr("'" + table + "'"), HasSubstr("the station did not start")))
      << "started without its parameter table";
  const std::string log = testing_support::read_file(dir.file("registr.errors.log"));
  EXPECT_NE(log.find("cannot write the parameter table '" + table + "'"), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(table));
}

TEST(StationHome, AHomeLockThatCannotBeTakenStopsTheStartWithTheReason) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  fs.flock_errno = ENOLCK;
  EXPECT_THAT(
      error_of<station::HomeLockError>([&] { station::HomeLock lock(fs, dir.path()); }),
      AllOf(HasSubstr(dir.file(station::kHomeLockFileName)), HasSubstr(lib::errno_text(ENOLCK))))
      << "started without its home lock";
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
  lib::write_file_atomically(dir.file("sys.bin"), bytes, lib::posix_file_system());
  lib::write_file_atomically(dir.file("sys.bin.tmp31337"), "half a save", lib::posix_file_system());

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
                             "[запись_и_осреднение]\nпериод_сохранения_состояния=3\n",
                             lib::posix_file_system());
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
  EXPECT_THAT(error_of<station::StationError>([&] {
                rig.st->open({"console", "/dev/nonexistent-rig-port", true, ""});
              }),
              HasSubstr("/dev/nonexistent-rig-port"))
      << "a missing port must refuse to start";
  Rig other(dir.path());
  EXPECT_THROW(other.st->open({"carrier-pigeon", "", true, ""}), station::StationError);
  EXPECT_EQ(station::protocol_id_of("emulator"), hardware::kProtocolEmulator);
  EXPECT_EQ(station::protocol_id_of("depth"), hardware::kProtocolDepthFast);
  // Numbers stay accepted beside the names; anything else is refused.
  EXPECT_EQ(station::protocol_id_of("10"), hardware::kProtocol2017);
  EXPECT_EQ(station::protocol_id_of("-5"), -1);
  EXPECT_EQ(station::protocol_id_of("10x"), -1);
  EXPECT_EQ(station::protocol_id_of(""), -1);
  Rig by_number(dir.path());
  by_number.st->open({"28", "", true, ""});
  EXPECT_EQ(by_number.st->source().protocol_id, hardware::kProtocolEmulator);
}

// --- The parameter table at start

// A station home made by a first start and stopped, so a "sys.bin" remembers it.
std::string first_start(const TempDir& dir) {
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  rig.ticks(2);
  rig.st->close();
  return dir.file(station::kParamTableFileName);
}

TEST(StationTable, EveryKindOfDamageStopsTheStationAndTouchesNoFile) {
  using params_test::ExtendedBuilder;
  using params_test::FileBuilder;
  const params_test::RowFields hook = {
      "Вес на крюке", "W кр.", "т", "вес_на_крюке", 0, 20, 0, 0, 200, 1, 0, 0, 0};
  FileBuilder sound;
  sound.header(4).row(hook).end_rows().calibration(0, {{1024, 0}, {4095, 200}});
  sound.end_calibration().db_set({});
  std::string random(300, '\0');
  std::uint32_t seed = 7;
  for (char& c : random) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
  FileBuilder version, count, index, not_a_number;
  version.header(9).row(hook).end_rows().end_calibration().db_set({});
  count.header(4).row(hook).end_rows().i32(0).i32(1 << 29);
  index.header(4).row(hook).end_rows().calibration(40000, {{1, 1}}).end_calibration().db_set({});
  not_a_number.header(4).row(hook).end_rows();
  not_a_number.calibration(0, {{1024, 0}, {4095, std::numeric_limits<double>::quiet_NaN()}});
  not_a_number.end_calibration().db_set({});

  struct Case {
    const char* name;
    std::string table;
    std::optional<std::string> extended;  // absent: no companion file
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"zero length", "", std::nullopt, "the file is empty"},
      {"truncated", sound.bytes().substr(0, sound.bytes().size() - 5), std::nullopt, "cut short"},
      {"random bytes", random, std::nullopt, "'"},
      {"unknown version", version.bytes(), std::nullopt, "file version 9"},
      {"absurd point count", count.bytes(), std::nullopt, "536870912 points does not fit"},
      {"absurd row index", index.bytes(), std::nullopt, "names row record 40000"},
      {"NaN point", not_a_number.bytes(), std::nullopt,
       "row 1 'вес_на_крюке': calibration point 2 of 2 has y = NaN"},
      {"damaged companion", sound.bytes(), ExtendedBuilder().str("EXT_NBL_FILE").i32(5).bytes(),
       ".extended companion: the extended file announces 5 entries"},
  };
  TempDir dir;
  const std::string table = first_start(dir);
  const std::string state = testing_support::read_file(dir.file("sys.bin"));
  ASSERT_FALSE(state.empty());
  for (const Case& c : cases) {
    for (bool restore : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (restore ? "" : ", --no-restore"));
      lib::write_file_atomically(table, c.table, lib::posix_file_system());
      std::filesystem::remove(table + ".extended");
      if (c.extended)
        lib::write_file_atomically(table + ".extended", *c.extended, lib::posix_file_system());
      {
        Rig rig(dir.path());
        EXPECT_THAT(
            error_of<station::StationError>([&] {
              rig.st->open({"emulator", "", restore, ""});
            }),
            AllOf(HasSubstr("'" + table + "'"), HasSubstr(c.reason), HasSubstr("was not loaded")));
        rig.st->close();  // what a caller may do on its way out: still writes nothing
      }
      EXPECT_EQ(testing_support::read_file(table), c.table);
      EXPECT_EQ(std::filesystem::exists(table + ".extended"), c.extended.has_value());
      if (c.extended) {
        EXPECT_EQ(testing_support::read_file(table + ".extended"), *c.extended);
      }
      EXPECT_EQ(testing_support::read_file(dir.file("sys.bin")), state);
    }
  }
  EXPECT_NE(testing_support::read_file(dir.file("registr.errors.log")).find(table),
            std::string::npos);
}

TEST(StationTable, AReplacedTableWinsOverEverythingRemembered) {
  TempDir dir;
  const std::string file = first_start(dir);  // slot 0: hook load, slot 1: inlet pressure
  // The hook load stays in its slot with another input and calibration; slot 1 now holds
  // another parameter.
  {
    params::AllParams catalogue(dir.path(), lib::posix_file_system());
    params::ParTabl replaced(catalogue);
    replaced.add("вес_на_крюке");
    replaced.add("плотность_на_входе");
    replaced[0].channel = params::USOChannel(0, 1, params::kChannelAnalog);
    replaced[0].points = {{1024, 10}, {4095, 20}};
    replaced[1].channel = params::USOChannel(0, 0, params::kChannelAnalog);
    replaced[1].points = {{1024, 0}, {4095, 100}};
    ASSERT_TRUE(replaced.save_to(file));
  }
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  ds_tmp::DataStorage& ds = rig.hub->data_storage();
  const params::ParTabl& table = ds.par_tabl();
  ASSERT_EQ(table.get_items_count(), 2);
  EXPECT_EQ(table[0].identifier, "вес_на_крюке");
  EXPECT_EQ(table[0].channel.channel, 1);
  EXPECT_EQ(table[0].points, (params::CalibrPoints{{1024, 10}, {4095, 20}}));
  EXPECT_EQ(table[1].identifier, "плотность_на_входе");
  EXPECT_EQ(table[1].channel.channel, 0);
  EXPECT_EQ(table[1].points, (params::CalibrPoints{{1024, 0}, {4095, 100}}));
  // The saved average of the slot's own row is kept; the inlet pressure's is not passed
  // off as the density's.
  EXPECT_GT(ds[0], 0.0);
  EXPECT_EQ(ds[1], 0.0);

  rig.ticks(1);
  const auto rows = rig.st->rows();
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_TRUE(rows[0].has_raw);
  EXPECT_NEAR(ds.current_values()[0],
              table[0].calc_value_by_voltage(rows[0].raw, 1.0, lib::now(rig.clock)), 1e-9);
  rig.st->close();
  EXPECT_EQ(testing_support::read_file(dir.file("registr.errors.log")), "");
}

TEST(StationTick, AConversionGivingNoNumberIsMarkedNotValidAndReportedOnce) {
  TempDir dir;
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  rig.ticks(1);
  params::ParTabl& table = rig.hub->data_storage().par_tabl();
  const int hook = table.find_global("вес_на_крюке");
  ASSERT_GE(hook, 0);
  const auto h = static_cast<std::size_t>(hook);
  ASSERT_TRUE(rig.st->rows()[h].valid);
  const double before = rig.hub->data_storage().current_values()[hook];
  const params::CalibrPoints sound = table[hook].points;
  // Finite points whose slope overflows: every reading converts to infinity.
  table[hook].points = {{0, 0}, {1, 1e308}};
  rig.ticks(3);
  EXPECT_FALSE(rig.st->rows()[h].valid);
  EXPECT_EQ(rig.hub->data_storage().current_values()[hook], before);
  const std::string reported = "row " + std::to_string(hook + 1) + " 'вес_на_крюке'";
  const auto lines = [&] {
    const std::string log = testing_support::read_file(dir.file("registr.errors.log"));
    int n = 0;
    for (std::size_t at = log.find(reported); at != std::string::npos;
         at = log.find(reported, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(lines(), 1) << "reported when it turns bad, not every tick";
  EXPECT_TRUE(rig.st->rows()[h == 0 ? 1 : 0].valid) << "other rows stay valid";

  table[hook].points = sound;
  rig.ticks(1);
  EXPECT_TRUE(rig.st->rows()[h].valid);
  table[hook].points = {{4095, 0}, {1024, 100}};  // x falls: no conversion, edited in place
  rig.ticks(2);
  EXPECT_FALSE(rig.st->rows()[h].valid);
  EXPECT_EQ(lines(), 2) << "turning bad again is reported again";
}

// Values the station cannot read are named with file, section, key and the default used,
// in the error log and for the screen; the start goes on.
TEST(StationOpen, UnreadableSettingsValuesAreLoggedAndShown) {
  TempDir dir;
  lib::write_file_atomically(dir.file("global.ini"),
                             "[ДОЛ]\nкоэффицент_ДОЛа=сто пятьдесят\n[связь]\nзвук=может быть\n",
                             lib::posix_file_system());
  Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  const auto& notes = rig.st->settings_notes();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("[ДОЛ] коэффицент_ДОЛа = \"сто пятьдесят\""), std::string::npos)
      << notes[0];
  EXPECT_NE(notes[0].find("default 150.000 used"), std::string::npos) << notes[0];
  EXPECT_NE(notes[1].find("[связь] звук"), std::string::npos) << notes[1];
  const std::string log = testing_support::read_file(dir.file("registr.errors.log"));
  for (const std::string& note : notes) EXPECT_NE(log.find(note), std::string::npos) << log;
  rig.st->close();
}

// A settings file that exists but cannot be trusted stops the start, says why, and is left
// exactly as it was for someone to repair.
TEST(StationOpen, UntrustworthySettingsFileStopsTheStartAndIsKept) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", "", "empty"},
      {"damaged UTF-8", "[связь]\nпорт=/dev/ttyS0\nuso_addrs=1\xFF\n", "line 3"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file("global.ini");
    lib::write_file_atomically(path, c.bytes, lib::posix_file_system());
    Rig rig(dir.path());
    EXPECT_THAT(error_of<station::StationError>([&] {
                  rig.st->open({"emulator", "", true, ""});
                }),
                AllOf(HasSubstr(path), HasSubstr(c.reason)))
        << c.name;
    EXPECT_EQ(testing_support::read_file(path), c.bytes) << c.name;
    EXPECT_NE(testing_support::read_file(dir.file("registr.errors.log")).find(path),
              std::string::npos)
        << c.name;
  }
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
  ds_tmp::DataStorage& ds = hub.data_storage();
  const int hook = ds.par_tabl().find_global("вес_на_крюке");
  const params::Param& row = ds.par_tabl()[hook];
  ASSERT_EQ(row.channel.type, params::kChannelAnalog);
  const double raw = 1024 + 100 * row.channel.channel;
  EXPECT_NEAR(ds.current_values()[hook], row.calc_value_by_voltage(raw, 1.0, lib::now(hub.clock())),
              1e-9);
}

// A row without calibration points on an analog input reads ADC counts: the protocol's
// full-scale count (4095 on the older console) is the top of the row's 0 to 5 V input.
// Worked out by hand: 819 counts are 1 V, a fifth of the 250 atm range.
TEST(StationTick, UncalibratedAnalogRowTurnsCountsIntoVoltsOnTheConverterFullScale) {
  TempDir dir;
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  hardware::OldBusDevice device;
  device.adc[0] = 2000;
  device.adc[1] = 819;
  hardware::BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), device);
  server.start();

  reg::SystemOptions o;
  o.home_folder = dir.path();
  reg::System hub(o);
  {
    params::ParTabl table(hub.catalogue());
    table.add("вес_на_крюке");
    table.add("давление_на_входе");
    params::Param& hook = table[table.find_global("вес_на_крюке")];
    hook.channel = params::USOChannel(0, 0, params::kChannelAnalog);
    hook.points = {{0, 0}, {4000, 100}};  // calibrated in counts: taken as they are
    params::Param& pressure = table[table.find_global("давление_на_входе")];
    pressure.channel = params::USOChannel(0, 1, params::kChannelAnalog);
    pressure.range = 250;
    pressure.zero = 0;
    pressure.points.clear();
    ASSERT_TRUE(table.save_to(dir.file(station::kParamTableFileName)));
  }
  station::Station st(hub);
  st.open({"console", pty.slave_path(), true, ""});
  EXPECT_EQ(st.source().adc_full_scale, 4095);
  for (int i = 0; i < 3; ++i) st.tick();
  st.close();
  server.stop();

  ASSERT_GE(st.source().good_readings, 1u);
  ds_tmp::DataStorage& ds = hub.data_storage();
  EXPECT_NEAR(ds.current_values()["давление_на_входе"], 50.0, 1e-4);
  EXPECT_NEAR(ds.current_values()["вес_на_крюке"], 50.0, 1e-4);
  EXPECT_EQ(testing_support::read_file(dir.file("registr.errors.log")), "");
}

// A USB adapter pulled out and plugged back in: the station reaches it by a fixed name (a
// link standing in for the name the OS gives the adapter), the device behind the name goes
// away and comes back as a new device at the same name.
class UnpluggableDevice {
 public:
  explicit UnpluggableDevice(std::string link) : link_(std::move(link)) {}
  ~UnpluggableDevice() { unplug(); }
  bool plug_in() {
    lib::PseudoTerminal pty;
    if (!pty.create()) return false;
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(pty.slave_path(), link_);
    server_ = std::make_unique<hardware::BusSimServer>(
        lib::make_serial_byte_port_from_fd(pty.release_master()), device);
    server_->start();
    return true;
  }
  void unplug() {
    server_.reset();  // closes the master: the station's side fails with EIO
    std::filesystem::remove(link_);
  }
  hardware::OldBusDevice device;

 private:
  std::string link_;
  std::unique_ptr<hardware::BusSimServer> server_;
};

// The hook load's marks in the live frame the station published last.
live::FrameValue framed_hook_load(const std::string& home) {
  std::string why;
  const auto frame =
      live::decode_live_frame(testing_support::read_file(home + live::kFileName), why);
  EXPECT_TRUE(frame) << why;
  for (const auto& v : frame ? frame->values : std::vector<live::FrameValue>{})
    if (v.identifier == "вес_на_крюке") return v;
  ADD_FAILURE() << "no hook load in the live frame";
  return {};
}

double exported_hook_load(const std::string& home, reg::System& hub) {
  const std::string bytes = testing_support::read_file(home + "data/kvb.dat");
  EXPECT_EQ(bytes.size(), 20u) << "the export keeps its size";
  auto kvb = reg::read_shared_values(home + "data/kvb.dat", hub.shared_file_lock(),
                                     lib::posix_file_system());
  return kvb ? kvb->hook_load : 0.0;
}

TEST(StationSource, AnUnpluggedDeviceGoesStaleAndIsReopenedOnABackOffWhenItReturns) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  UnpluggableDevice adapter(dir.file("ttyRIG0"));
  ASSERT_TRUE(adapter.plug_in());
  Rig rig(home);
  rig.st->open({"console", dir.file("ttyRIG0"), true, ""});
  auto tick_after = [&](std::int64_t ms) {
    rig.clock.steady += ms;
    rig.st->tick();
  };
  auto hook_row = [&] {
    for (const auto& r : rig.st->rows())
      if (r.identifier == "вес_на_крюке") return r;
    ADD_FAILURE() << "no hook load row";
    return station::RowView{};
  };
  tick_after(1000);
  tick_after(1000);
  ASSERT_EQ(rig.st->source().good_readings, 2u);
  EXPECT_FALSE(rig.st->source().stale);
  EXPECT_FALSE(hook_row().stale);
  EXPECT_GT(hook_row().value, 0.0) << "the simulator's inputs start inside the calibration";
  EXPECT_TRUE(std::isfinite(exported_hook_load(home, *rig.hub)));

  adapter.unplug();
  tick_after(1000);
  EXPECT_TRUE(rig.st->source().lost);
  EXPECT_TRUE(rig.st->source().stale);
  EXPECT_TRUE(hook_row().stale);
  EXPECT_GT(hook_row().value, 0.0) << "the last value is kept, marked stale";
  EXPECT_TRUE(std::isnan(exported_hook_load(home, *rig.hub)));
  EXPECT_TRUE(framed_hook_load(home).stale);
  EXPECT_EQ(rig.st->reopen_wait_ms(), station::kFirstReopenDelayMs);

  // Not due yet: no try. Then each failed try doubles the wait, up to the cap.
  tick_after(station::kFirstReopenDelayMs - 1);
  EXPECT_EQ(rig.st->source().reopen_delay_ms, station::kFirstReopenDelayMs);
  for (std::int64_t expected : {2000, 4000, 8000, 16000, 30000, 30000}) {
    tick_after(rig.st->reopen_wait_ms());
    ASSERT_TRUE(rig.st->source().lost);
    EXPECT_EQ(rig.st->source().reopen_delay_ms, expected);
    EXPECT_EQ(rig.st->reopen_wait_ms(), expected);
  }
  ASSERT_TRUE(adapter.plug_in());
  tick_after(rig.st->reopen_wait_ms() - 1);
  EXPECT_TRUE(rig.st->source().lost) << "the back-off is kept even when the device is back";
  const auto failures_while_lost = rig.st->source().failures;
  tick_after(1);
  EXPECT_FALSE(rig.st->source().lost);
  EXPECT_EQ(rig.st->source().reopens, 1u);
  EXPECT_EQ(rig.st->source().failures, failures_while_lost)
      << "the tick that reopens the port reads it at once";
  EXPECT_EQ(rig.st->source().last_good_tick, rig.st->source().ticks);
  EXPECT_FALSE(hook_row().stale);
  EXPECT_TRUE(std::isfinite(exported_hook_load(home, *rig.hub)));
  tick_after(1000);
  EXPECT_FALSE(rig.st->source().stale);
  tick_after(1000);
  EXPECT_FALSE(framed_hook_load(home).stale);
  rig.st->close();

  // One line for the loss and one for the recovery, however many tries came between.
  const std::string log = testing_support::read_file(home + "registr.errors.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
  EXPECT_NE(log.find("Data source lost: serial port '" + dir.file("ttyRIG0")), std::string::npos)
      << log;
  EXPECT_NE(log.find("Data source back"), std::string::npos) << log;
}

}  // namespace

namespace {

TEST(StationPlugins, TheExamplePluginComputesItsValuesEveryTick) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "plugins");
  std::filesystem::copy_file(RIGCORE_TEST_DERIVED_VALUES_PLUGIN,
                             dir.path() + "plugins/derived_values.so");
  lib::write_file_atomically(dir.file("derived_values.ini"), "двойной_вес = вес_на_крюке*2\n",
                             lib::posix_file_system());
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

// Two copies of a plug-in that notes every event: each event reaches both, in the station's
// order, with its data; the copy that throws from data() is logged every tick and neither
// the other copy nor the tick is held up.
TEST(StationPlugins, EveryEventArrivesInOrderAndAThrowingPluginDoesNotStopTheTick) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "plugins");
  std::filesystem::copy_file(RIGCORE_TEST_EVENT_PLUGIN_A, dir.path() + "plugins/events_a.so");
  std::filesystem::copy_file(RIGCORE_TEST_EVENT_PLUGIN_B, dir.path() + "plugins/events_b.so");
  Rig rig(dir.path());
  reg::Values& values = rig.hub->values();
  const auto take_log = [&values] {
    std::string log = values.get_variable("events.log");
    values.set_variable("events.log", "");
    return log;
  };
  values.set_variable("events.throw", "events_a");

  rig.st->open({"emulator", "", true, ""});
  EXPECT_EQ(
      take_log(),
      "events_a:init;events_b:init;events_a:after_config_loaded;events_b:after_config_loaded;");

  // The operation the plug-ins' service reads is the effective one: an operator's forced
  // operation wins over what the station recognises from the sensors.
  ASSERT_TRUE(rig.hub->data_storage().set_forced_operation({14, 3, 2, 1}));
  rig.hub->mess_caller().run_pending();
  rig.ticks(2);
  ASSERT_EQ(rig.st->source().good_readings, 2u);
  const std::string types = std::to_string(rig.hub->comm_protocols().device_types().size());
  const std::string tick = "events_a:adc_data(1,adc," + types + ");events_b:adc_data(1,adc," +
                           types + ");events_a:data;events_b:data;" +
                           "events_a:data_calc_completed(14);events_b:data_calc_completed(14);";
  EXPECT_EQ(take_log(), tick + tick);
  // The tick went on to the export and the error log names the plug-in once per tick.
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/kvb.dat")));
  const std::string errors = testing_support::read_file(dir.file("registr.errors.log"));
  const std::string line = "Исключение \"сбой в data\" в модуле \"events_a\"";
  std::size_t count = 0;
  for (auto pos = errors.find(line); pos != std::string::npos; pos = errors.find(line, pos + 1))
    ++count;
  EXPECT_EQ(count, 2u) << errors;
  EXPECT_EQ(errors.find("events_b"), std::string::npos) << errors;

  rig.hub->plugins_before_new_pore();
  EXPECT_EQ(take_log(), "events_a:before_new_pore;events_b:before_new_pore;");

  EXPECT_TRUE(rig.st->close());
  EXPECT_EQ(take_log(), "events_a:finalize;events_b:finalize;");
  EXPECT_EQ(rig.hub->plugins().get_size(), 0);
}

}  // namespace
