// rigstation wits serve and wits dump as an operator runs them: a run recording played as
// WITS records by one program, read back with item names by the other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>

#include "golden_harness.h"
#include "lib/file_system.h"
#include "program_fixtures.h"
#include "support/fakes.h"

using testing::HasSubstr;

namespace {

// Three lines over hook load and pressure, written by the recorder.
std::string write_recording(const testing_support::TempDir& dir) {
  std::vector<program_test::Line> lines;
  for (int i = 0; i < 3; ++i) {
    rtf::ValuesLine line;
    line.time = 86400 * 365 + i;
    line.first_depth = 1500.5f + i;
    line.bit_depth = 1499.5f + i;
    line.third_depth = 1490.25f;
    line.values = {80.5f + i, 120.25f};
    lines.emplace_back(line, program_test::hook_and_pressure());
  }
  return program_test::record(dir, "0007.realtim", {}, {lines});
}

// The block the dump prints for line i of the recording.
std::string expected_block(int i) {
  return "record 01 (5 items)\n"
         "  0108 DBTM  Depth Bit (meas) = 1" +
         std::to_string(499 + i) +
         ".5 M\n"
         "  0110 DMEA  Depth Hole (meas) = " +
         std::to_string(1500 + i) +
         ".5 M\n"
         "  0139 ?     (not in the dictionary) = 1490.25\n"
         "  0114 HKLA  Hookload (avg) = " +
         std::to_string(80 + i) +
         ".5 KDN\n"
         "  0121 SPPA  Standpipe Pressure (avg) = 120.25 KPA\n";
}

}  // namespace

TEST(WitsProgram, ARecordingServedIsDumpedLineByLineWithItemNames) {
  testing_support::TempDir dir;
  const std::string recording = write_recording(dir);
  lib::write_file_atomically(dir.file("list.cfg"), "вес_на_крюке 0114\nдавление_на_входе 0121\n",
                             lib::posix_file_system());
  // The dictionary lacks 0139 on purpose: an item it does not name is still shown.
  std::string dict =
      lib::read_whole_file(std::string(RIGCORE_WITS_TEST_DATA) + "wits0_dictionary_records1-25.csv",
                           lib::posix_file_system())
          .value_or("");
  const auto lag = dict.find("\n1,39,");
  ASSERT_NE(lag, std::string::npos);
  dict.erase(lag, dict.find('\n', lag + 1) - lag);
  lib::write_file_atomically(dir.file("dict.csv"), dict, lib::posix_file_system());

  const int port = program_test::free_port();
  std::filesystem::create_directories(dir.file("serve"));
  golden::Run served;
  std::thread server([&] {
    served = golden::run_program(
        {"wits", "serve", "--port", std::to_string(port), "--recording", recording, "--map",
         dir.file("list.cfg"), "--period", "100", "--seconds", "8", "--home", dir.path()},
        dir.file("serve/"));
  });
  const golden::Run dump =
      program_test::run_when_served({"wits", "dump", "127.0.0.1:" + std::to_string(port), "--dict",
                                     dir.file("dict.csv"), "--count", "4", "--home", dir.path()},
                                    dir.path());
  server.join();
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  // Four blocks, the lines in their order, round and round from wherever the dump came in.
  int first = -1;
  for (int i = 0; i < 3; ++i)
    if (dump.out.rfind(expected_block(i), 0) == 0) first = i;
  ASSERT_GE(first, 0) << dump.out;
  std::string expected;
  for (int k = 0; k < 4; ++k) expected += expected_block((first + k) % 3);
  EXPECT_EQ(dump.out, expected);

  EXPECT_EQ(served.exit_code, 0) << served.err;
  EXPECT_THAT(served.err, HasSubstr("3 lines from " + recording));
  // This machine only, when no address is named.
  EXPECT_THAT(served.err, HasSubstr("serving on 127.0.0.1:" + std::to_string(port)));
  EXPECT_THAT(served.err, HasSubstr("1 clients served, 0 dropped"));
}

TEST(WitsProgram, ABadTargetOrAnEmptyCaptureIsRefusedWithTheReason) {
  testing_support::TempDir dir;
  const golden::Run bad =
      golden::run_program({"wits", "dump", "localhost", "--home", dir.path()}, dir.path());
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_THAT(bad.err, HasSubstr("'localhost' is not HOST:PORT"));

  lib::write_file_atomically(dir.file("empty.wits"), "no records here\n", lib::posix_file_system());
  const golden::Run empty = golden::run_program(
      {"wits", "serve", "--port", "1", "--file", dir.file("empty.wits"), "--home", dir.path()},
      dir.path());
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_THAT(empty.err, HasSubstr("holds no WITS record"));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"run", "--wits-out", "rig:27920"},
        {"wits", "serve", "--port", "127.0.0.1:0"}}) {
    std::vector<std::string> with_home = args;
    with_home.insert(with_home.end(), {"--home", dir.path()});
    const golden::Run refused = golden::run_program(with_home, dir.path());
    EXPECT_EQ(refused.exit_code, 1) << args[0];
    EXPECT_THAT(refused.err, HasSubstr(args[0] == "run" ? "--wits-out the host of 'rig:27920'"
                                                        : "names no port"));
  }
}

TEST(WitsProgram, AStationRunWithWitsOutOnANewHomePublishesItsStarterListToTheDump) {
  testing_support::TempDir dir;
  const std::string home = dir.file("home/");
  const int port = program_test::free_port();
  std::filesystem::create_directories(dir.file("run/"));
  golden::Run station;
  std::thread runner([&] {
    station =
        golden::run_program({"run", "--home", home, "--protocol", "emulator", "--seconds", "6",
                             "--json", "--wits-out", "127.0.0.2:" + std::to_string(port)},
                            dir.file("run/"));
  });
  const golden::Run dump = program_test::run_when_served(
      {"wits", "dump", "127.0.0.2:" + std::to_string(port), "--count", "2", "--home", home},
      dir.path());
  runner.join();
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  // Two ticks, each one record 1 with the three values of the starter list.
  const std::string block =
      "record 01 \\(3 items\\)\n"
      "  0114 \\?     \\(not in the dictionary\\) = -?[0-9.]+\n"
      "  0121 \\?     \\(not in the dictionary\\) = -?[0-9.]+\n"
      "  0120 \\?     \\(not in the dictionary\\) = -?[0-9.]+\n";
  EXPECT_TRUE(std::regex_match(dump.out, std::regex("(" + block + "){2}"))) << dump.out;
  ASSERT_EQ(station.exit_code, 0) << station.err;
  EXPECT_THAT(station.err, HasSubstr("WITS sender: 3 parameter(s) published on port " +
                                     std::to_string(port) + " of 127.0.0.2"));
  // Each --json line says where the station publishes; one of them saw the dump connected.
  bool saw_client = false;
  for (const std::string& line : golden::split_lines(station.out)) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << line;
    ASSERT_TRUE(j.contains("wits_out")) << line;
    EXPECT_EQ(j["wits_out"]["port"], port);
    if (j["wits_out"]["clients"] == 1) saw_client = true;
  }
  EXPECT_TRUE(saw_client) << station.out;
}
