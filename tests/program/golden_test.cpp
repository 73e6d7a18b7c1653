// The rigstation tools as an operator sees them: each scenario runs the built program on a
// scratch home and compares exit codes, stdout and stderr with a reviewed golden file in
// tests/program/golden/. Paths, dates, times and process ids are masked (see
// golden_harness.h).
//
// To accept an intended change of output, rewrite the golden files and review the diff:
//   RIGCORE_UPDATE_GOLDEN=1 build/debug/tests/test_program
//   git diff tests/program/golden
// Without RIGCORE_UPDATE_GOLDEN=1 a difference fails the test with a line diff.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "golden_harness.h"
#include "params/all_params.h"
#include "params/par_tabl.h"
#include "station/station_home.h"
#include "support/fakes.h"

namespace {

using golden::Transcript;

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// ---- the harness itself -------------------------------------------------------------------

TEST(GoldenHarness, MasksWhatVaries) {
  const std::string home = "/tmp/x/home/";
  EXPECT_EQ(golden::mask("/tmp/x/home/sys.bin at 06.12.2026 19:07:00 by process 4711, "
                         "/tmp/x/out on 2026-12-06T19:07:00Z, /tmp/x/home",
                         home, "/tmp/x/"),
            "<HOME>/sys.bin at dd.mm.yyyy hh:mm:ss by process <PID>, <TMP>/out on "
            "yyyy-mm-ddThh:mm:ss, <HOME>");
  EXPECT_EQ(
      golden::mask("usage: " RIGCORE_TEST_RIGSTATION " run; 06.12.2026 19:07", home, "/tmp/x/"),
      "usage: rigstation run; dd.mm.yyyy hh:mm:ss");
  // Numbers that only look like a part of a date are kept.
  EXPECT_EQ(golden::mask("1.5 12.06 2026", home, "/tmp/x/"), "1.5 12.06 2026");
}

// ---- configuration ------------------------------------------------------------------------

TEST(GoldenProgram, ConfigShowOnAFreshHome) {
  Transcript t("config_show_fresh");
  t.run({"config", "show", "--home", "<HOME>"});
  // Showing the settings creates nothing.
  EXPECT_TRUE(std::filesystem::is_empty(t.home()));
  t.check();
}

TEST(GoldenProgram, ConfigSetThenShow) {
  Transcript t("config_set_show");
  EXPECT_EQ(t.run({"config", "set", "ДОЛ", "коэффицент_ДОЛа", "2.5", "--home", "<HOME>"}).exit_code,
            0);
  // A value of the wrong type is refused and changes nothing.
  const std::string saved = testing_support::read_file(t.home() + "global.ini");
  EXPECT_EQ(
      t.run({"config", "set", "ДОЛ", "коэффицент_ДОЛа", "много", "--home", "<HOME>"}).exit_code, 1);
  EXPECT_EQ(testing_support::read_file(t.home() + "global.ini"), saved);
  t.run({"config", "show", "--home", "<HOME>"});
  t.check();
}

TEST(GoldenProgram, TanksListedAndALevelConvertedWithTheUnusableSettingsNamed) {
  Transcript t("tanks");
  // Tank 2's zero area and tank 4's repeated level are refused and named; tank 3 reads its
  // table: 1.5 m lies halfway between 10 and 30 m³.
  write_file(t.home() + "global.ini",
             "[VEmkOpts]\ncount=16\n1=25,1,0,0,0,2.4,Первая,\n2=0,1,0,0,0,2\n"
             "3=30,1,0,1,0,3,\"Доливная, левая\",буровой\n"
             "[VEmkTables]\n3=0,0,1,10,2,30\n4=0,0,1,10,1,12\n");
  EXPECT_EQ(t.run({"tanks", "--home", "<HOME>"}).exit_code, 0);
  EXPECT_EQ(t.run({"tanks", "--tank", "3", "--level", "1.5", "--home", "<HOME>"}).exit_code, 0);
  EXPECT_EQ(t.run({"tanks", "--tank", "1", "--level", "2", "--json", "--home", "<HOME>"}).exit_code,
            0);
  EXPECT_EQ(t.run({"tanks", "--tank", "17", "--level", "1", "--home", "<HOME>"}).exit_code, 1);
  t.check();
}

// ---- journals -----------------------------------------------------------------------------

TEST(GoldenProgram, RemarksAddedAndListedBesideAnEmptyTroublesLog) {
  Transcript t("journal_remarks");
  t.run({"journal", "remarks", "add", "Промывка перед подъёмом", "--home", "<HOME>"});
  t.run({"journal", "remarks", "add", "second remark, red", "--colour", "#FF0000", "--home",
         "<HOME>"});
  t.run({"journal", "remarks", "list", "--home", "<HOME>"});
  t.run({"journal", "troubles", "list", "--home", "<HOME>"});
  t.check();
}

// ---- survey -------------------------------------------------------------------------------

// A vertical hole to 100 m, then built to 10° towards the east over 100 m. By the average
// angle: 100·cos 5° = 99.62 m deeper and 100·sin 5° = 8.72 m east; the dogleg is 10°.
TEST(GoldenProgram, SurveyTableOfASmallFile) {
  Transcript t("survey");
  write_file(t.file("build.csv"),
             "глубина_м;зенит_град;азимут_град\n0;0;90\n100;0;90\n200;10;90\n");
  EXPECT_EQ(t.run({"survey", "<TMP>/build.csv"}).exit_code, 0);
  // A row that cannot be taken is named by its line; the others are still computed.
  write_file(t.file("one_bad.csv"), "0;0;90\n100;0;90\n150;abc;90\n200;10;90\n");
  EXPECT_EQ(t.run({"survey", "<TMP>/one_bad.csv"}).exit_code, 2);
  t.check();
}

// The same build by minimum curvature: a 10° arc of 100 m, radius 100 / (10° in radians) =
// 572.958 m, so R·sin 10° = 99.49 m deeper and R·(1 − cos 10°) = 8.70 m east, 10° over the
// 100 m course being 3°/30 m (3.048°/100 ft). The CSV gives the same at full precision for
// other programs; a severity per 100 ft is asked for with the CSV only.
TEST(GoldenProgram, SurveyByMinimumCurvatureAsTableAndCsv) {
  Transcript t("survey_min_curvature");
  write_file(t.file("build.csv"),
             "глубина_м;зенит_град;азимут_град\n0;0;90\n100;0;90\n200;10;90\n");
  EXPECT_EQ(t.run({"survey", "<TMP>/build.csv", "--method", "2"}).exit_code, 0);
  EXPECT_EQ(t.run({"survey", "<TMP>/build.csv", "--method", "2", "--csv"}).exit_code, 0);
  EXPECT_EQ(t.run({"survey", "<TMP>/build.csv", "--method", "2", "--csv", "--per-100ft"}).exit_code,
            0);
  EXPECT_NE(t.run({"survey", "<TMP>/build.csv", "--per-100ft"}).exit_code, 0);
  EXPECT_NE(t.run({"survey", "<TMP>/build.csv", "--method", "3"}).exit_code, 0);
  t.check();
}

// ---- parameter table ----------------------------------------------------------------------

TEST(GoldenProgram, ParamsShowOfTheStarterTableADamagedOneAndNone) {
  Transcript t("params_show");
  const params::AllParams catalogue(t.home(), lib::posix_file_system());
  station::write_starter_table(lib::posix_file_system(), t.file("params.tbl"), catalogue);
  EXPECT_EQ(t.run({"params", "show", "<TMP>/params.tbl"}).exit_code, 0);

  // The same table cut in half: what could be read is shown, the damage is listed, the
  // exit code says so, and looking at the file does not touch it.
  const std::string whole = testing_support::read_file(t.file("params.tbl"));
  const std::string cut = whole.substr(0, whole.size() / 2);
  write_file(t.file("cut.tbl"), cut);
  t.note("cut.tbl: the first " + std::to_string(cut.size()) + " of the " +
         std::to_string(whole.size()) + " bytes of params.tbl");
  EXPECT_EQ(t.run({"params", "show", "<TMP>/cut.tbl"}).exit_code, 2);
  EXPECT_EQ(testing_support::read_file(t.file("cut.tbl")), cut);
  // No file at all: nothing to show, and the reason.
  EXPECT_EQ(t.run({"params", "show", "<TMP>/missing.tbl"}).exit_code, 1);
  t.check();
}

// Editing the home's table: the hook load fed by WITS gets a conversion of its own and a
// point more, bad edits are refused with their reason and change nothing, and a running
// station's table is not edited behind its back.
TEST(GoldenProgram, ParamsSetAndCalibrateEditTheHomesTable) {
  Transcript t("params_set");
  const params::AllParams catalogue(t.home(), lib::posix_file_system());
  const std::string table = t.home() + "params.tbl";
  station::write_starter_table(lib::posix_file_system(), table, catalogue);
  const std::string starter = testing_support::read_file(table);
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "params");
    args.insert(args.end(), {"--home", "<HOME>"});
    return t.run(args).exit_code;
  };
  EXPECT_EQ(run({"set", "вес_на_крюке", "--wits", "0114", "--points", "0:0,1:1"}), 0);
  EXPECT_EQ(testing_support::read_file(table + ".bak"), starter);
  EXPECT_EQ(run({"calibrate", "вес_на_крюке", "--point", "2", "2.5"}), 0);
  const std::string edited = testing_support::read_file(table);
  for (const std::vector<std::string>& refused : std::vector<std::vector<std::string>>{
           {"set", "давление_на_входе", "--points", "1:10,1:20"},
           {"set", "давление_на_входе", "--points", "0:0,1:1e308,2:-1e308"},
           {"set", "1", "--identifier", "нет_такого"},
           {"set", "1", "--identifier", "вес_на_крюке"},
           {"set", "тальблок", "--points", "0:0,1:1"},
           {"set", "1", "--averaging", "0"},
           {"set", "1", "--wits", "114"},
           {"set", "1", "--identifier", "объем_в_емкости5"},
           {"calibrate", "99", "--point", "1", "1"}}) {
    EXPECT_EQ(run(refused), 1);
  }
  EXPECT_EQ(testing_support::read_file(table), edited);
  // The rows that depend on the one renamed go with it, and are named.
  EXPECT_EQ(run({"set", "метан_абс", "--identifier", "нагрузка"}), 0);
  const std::string renamed = testing_support::read_file(table);

  t.note("a station holds the home's lock (process 4242)");
  const int lock = ::open((t.home() + "rigstation.lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  ASSERT_EQ(::write(lock, "4242\n", 5), 5);
  EXPECT_EQ(run({"set", "1", "--range", "300"}), 1);
  EXPECT_EQ(testing_support::read_file(table), renamed);
  EXPECT_EQ(run({"set", "1", "--range", "300", "--reload", "--wait", "0.2"}), 3);
  ::close(lock);

  params::ParTabl back(catalogue);
  ASSERT_TRUE(back.load_from(table));
  EXPECT_EQ(back[0].channel.type, params::kChannelWits);
  EXPECT_EQ(back[0].ext_info.get(params::ext_keys::kWitsCode), "0114");
  EXPECT_EQ(back[0].points, (params::CalibrPoints{{0, 0}, {1, 1}, {2, 2.5}}));
  EXPECT_EQ(back[1].range, 300);
  EXPECT_FALSE(back.param_exists("сумм_газ"));
  t.check();
}

// ---- the station --------------------------------------------------------------------------

// The emulator's numbers move; the keys, units, counts and flags of each tick must not.
std::string mask_moving_numbers(const std::string& out) {
  auto mask = [](nlohmann::json& v) {
    if (v.is_number()) v = v.get<double>() >= 0 ? "<number>" : "<negative>";
  };
  std::string shown;
  for (const std::string& line : golden::split_lines(out)) {
    auto j = nlohmann::json::parse(line, nullptr, false);
    if (line.empty() || line[0] != '{' || j.is_discarded()) {
      shown += line + "\n";
      continue;
    }
    for (auto& [id, v] : j["values"].items()) {
      for (const char* field : {"value", "raw"}) {
        if (!v.contains(field)) continue;
        EXPECT_TRUE(v[field].is_number()) << id << "." << field << " is no number: " << line;
        mask(v[field]);
      }
    }
    if (j.contains("registered"))
      for (auto& [id, v] : j["registered"].items())
        if (v.is_number()) v = "<number>";
    // The emulator's tank level and pump input move, and the volumes, the flow and the pit
    // gain with them.
    if (j.contains("mud")) {
      nlohmann::json& mud = j["mud"];
      for (const char* k :
           {"active_volume", "total_volume", "trip_tank_volume", "pit_gain", "flow_in_lpm"})
        mask(mud[k]);
      for (auto& p : mud["pumps"]) {
        mask(p["spm"]);
        if (p["on"].is_boolean()) p["on"] = "<flag>";
      }
      for (auto& t : mud["tanks"]) mask(t["level"]), mask(t["volume"]);
    }
    shown += j.dump(1) + "\n";
  }
  return shown;
}

TEST(GoldenProgram, TwoTicksOfTheEmulatorAsJson) {
  Transcript t("run_json");
  const golden::Run r = t.run({"run", "--home", "<HOME>", "--protocol", "emulator", "--seconds",
                               "2", "--json", "--no-sound"},
                              mask_moving_numbers);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(t.home() + "sys.bin"));
  t.check();
}

TEST(GoldenProgram, ASettingsFileThatCannotBeDecodedStopsTheStartAndIsKept) {
  Transcript t("run_bad_settings");
  // UTF-8 with a broken byte in a value: reading it either way would garble a setting.
  const std::string bad = "[ДОЛ]\nкоэффицент_ДОЛа=1\xff\n";
  write_file(t.home() + "global.ini", bad);
  const golden::Run r = t.run({"run", "--home", "<HOME>", "--seconds", "1", "--no-sound"});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_EQ(testing_support::read_file(t.home() + "global.ini"), bad);
  EXPECT_FALSE(std::filesystem::exists(t.home() + "sys.bin"));
  t.check();
}

TEST(GoldenProgram, RunHelpListsHome) {
  Transcript t("run_help");
  const golden::Run r = t.run({"run", "--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("--home"), std::string::npos);
  t.check();
}

// ---- the office link ------------------------------------------------------------------------

TEST(GoldenProgram, OfficeLinkHelpSettingsAndRefusals) {
  Transcript t("office_link");
  t.run({"forward", "--help"});
  t.run({"office", "export", "--help"});
  // No office database named anywhere: the forwarder says where to name one.
  EXPECT_EQ(t.run({"forward", "--home", "<HOME>", "--drain"}).exit_code, 1);
  EXPECT_EQ(t.run({"office", "set", "--home", "<HOME>", "предел_скорости", "быстро"}).exit_code, 1);
  EXPECT_EQ(t.run({"office", "set", "--home", "<HOME>", "имя_буровой", "БУ-5000 №7"}).exit_code, 0);
  t.run({"office", "settings", "--home", "<HOME>"});
  EXPECT_EQ(t.run({"office", "export", "--db", "postgresql://[::1", "--rig", "БУ-5000 №7", "--race",
                   "1", "--las", "<HOME>/run.las"})
                .exit_code,
            1);
  EXPECT_EQ(
      t.run({"office", "export", "--db", "dbname=office", "--rig", "x", "--race", "1"}).exit_code,
      1);
  t.check();
}

}  // namespace
