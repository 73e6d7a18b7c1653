// rigstation rec info / rec dump on a file the recorder wrote, whole and cut by a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "golden_harness.h"
#include "program_fixtures.h"
#include "support/fakes.h"

using testing::HasSubstr;

namespace {

// Three lines over hook load and pressure, written by the recorder.
std::string write_file(const testing_support::TempDir& dir) {
  std::vector<program_test::Line> lines;
  for (int i = 0; i < 3; ++i) {
    rtf::ValuesLine line;
    line.time = 86400 * 365 + 60 * i;  // 01.01.1971 00:00 + i minutes
    line.first_depth = line.bit_depth = 1500.5f + i;
    line.third_depth = 1490.25f;
    line.operation = 2;
    line.values = {80.5f + i, 120};
    lines.emplace_back(line, program_test::hook_and_pressure());
  }
  return program_test::record(dir, "0004.realdep", {{"скважина", "31"}, {"номер_рейса", "4"}},
                              {lines});
}

TEST(RecProgram, InfoAndCsvDumpOfAWholeFile) {
  testing_support::TempDir dir;
  const std::string file = write_file(dir);
  const golden::Run info = golden::run_program({"rec", "info", file}, dir.path());
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("blocks: 7, writer runs: 1, texts: 1, parameter lists: 1, "
                                  "lines: 3"));
  EXPECT_THAT(info.out, HasSubstr("номер_рейса = 4"));
  EXPECT_THAT(info.out, HasSubstr("parameters 1 (2): вес_на_крюке [т], давление_на_входе [атм.]"));
  EXPECT_THAT(info.out, HasSubstr("time: 01.01.1971 00:00:00 .. 01.01.1971 00:02:00"));
  EXPECT_THAT(info.out, HasSubstr("depth: 1500.5 .. 1502.5 m"));

  const golden::Run dump = golden::run_program({"rec", "dump", file, "--csv"}, dir.path());
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_EQ(dump.out,
            "time;first_depth;bit_depth;third_depth;operation;вес_на_крюке;давление_на_входе\n"
            "01.01.1971 00:00:00;1500.5;1500.5;1490.25;2;80.5;120\n"
            "01.01.1971 00:01:00;1501.5;1501.5;1490.25;2;81.5;120\n"
            "01.01.1971 00:02:00;1502.5;1502.5;1490.25;2;82.5;120\n");
}

TEST(RecProgram, ACutFileShowsItsCompleteLinesAndNamesTheCutOnStderr) {
  testing_support::TempDir dir;
  const std::string file = write_file(dir);
  std::string bytes = testing_support::read_file(file);
  bytes.resize(bytes.size() - 5);  // the last line is cut
  lib::write_file_atomically(file, bytes, lib::posix_file_system(), false);
  const golden::Run dump = golden::run_program({"rec", "dump", file}, dir.path());
  EXPECT_EQ(dump.exit_code, 2);
  EXPECT_THAT(dump.err, HasSubstr(file + ": offset " + std::to_string(bytes.size() + 5 - 60)));
  EXPECT_THAT(dump.err, HasSubstr("cut block of type 1"));
  EXPECT_THAT(dump.out, HasSubstr("вес_на_крюке=81.5"));
  EXPECT_THAT(dump.out, testing::Not(HasSubstr("82.5")));
  const golden::Run missing = golden::run_program({"rec", "info", file + ".нет"}, dir.path());
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_THAT(missing.err, HasSubstr(file + ".нет"));
}

}  // namespace

namespace {

// A depth file whose parameter list grows in the middle: hook load and pressure, then a
// volume in cubic metres as well, lines i = 0..3 at 01.01.1971 00:00:00 + 10 i s. With
// `restarts`, two more writer runs follow: one taken up at a time already recorded (i = 2, 3,
// then 4 and 4.05), one with the clock set back (i = 1, then 5).
std::string write_growing_file(const testing_support::TempDir& dir, const std::string& name,
                               bool restarts = false) {
  const rtf::ParamList two = program_test::hook_and_pressure();
  auto three = std::make_shared<std::vector<rtf::RecordedParam>>(*two);
  three->push_back({"Объём в ёмкости", "м³", "V", "объем_в_емкости1", 0, 60});
  auto run = [&](const std::vector<std::pair<int, std::uint8_t>>& lines) {
    std::vector<program_test::Line> out;
    for (const auto& [i, hundredths] : lines) {
      rtf::ValuesLine line;
      line.time = 86400 * 365 + 10 * i;
      line.hundredths = hundredths;
      line.first_depth = 2000.25f + 0.5f * i;
      line.bit_depth = line.first_depth + 1;
      line.third_depth = 1990;
      line.operation = 2;
      line.values = {100.5f + i, 150};
      if (i >= 2) line.values.push_back(12.75f * i);
      out.emplace_back(line, i >= 2 ? rtf::ParamList(three) : two);
    }
    return out;
  };
  // The header is a writer run of its own.
  std::vector<std::vector<program_test::Line>> runs = {{}, run({{0, 0}, {1, 0}, {2, 0}, {3, 0}})};
  if (restarts) {
    runs.push_back(run({{2, 0}, {3, 0}, {4, 0}, {4, 5}}));
    runs.push_back(run({{1, 0}, {5, 0}}));
  }
  return program_test::record(dir, name,
                              {{"месторождение", "Южное"},
                               {"скважина", "31"},
                               {"заказчик", "Заказчик"},
                               {"номер_рейса", "4"},
                               {"нач_время", std::to_string(86400 * 365)}},
                              runs);
}

// What the independent reader made of a LAS file.
nlohmann::json read_with_las_js(const testing_support::TempDir& dir, const std::string& las) {
  const std::string out = dir.file("las.json");
  const std::string cmd =
      "node '" + std::string(RIGCORE_LAS_CHECK) + "' '" + las + "' > '" + out + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  const std::string text = testing_support::read_file(out);
  EXPECT_EQ(rc, 0) << "the LAS reader (tests/las_check, installed by scripts/setup.sh) failed: "
                   << text;
  return nlohmann::json::parse(text, nullptr, false);
}

TEST(RecLasExport, ADepthFileReadsBackInAnIndependentLasReader) {
  testing_support::TempDir dir;
  const std::string file = write_growing_file(dir, "0004.realdep");
  const std::string las = dir.file("out.las");
  const golden::Run r = golden::run_program({"rec", "export", file, "--las", las}, dir.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string text = testing_support::read_file(las);
  for (char c : text) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "LAS 2.0 is ASCII";

  const nlohmann::json j = read_with_las_js(dir, las);
  ASSERT_FALSE(j.is_discarded());
  EXPECT_EQ(j["version"], 2);
  EXPECT_EQ(j["wrap"], false);
  EXPECT_EQ(j["header"], nlohmann::json({"DEPT", "BDEP", "DEP3", "OPER", "VES_NA_KRYUKE",
                                         "DAVLENIE_NA_VKHODE", "OBEM_V_EMKOSTI1"}));
  EXPECT_EQ(j["curves"]["DEPT"]["unit"], "M");
  EXPECT_EQ(j["curves"]["VES_NA_KRYUKE"]["unit"], "t");
  EXPECT_EQ(j["curves"]["DAVLENIE_NA_VKHODE"]["unit"], "atm");
  EXPECT_EQ(j["curves"]["OBEM_V_EMKOSTI1"]["unit"], "m3");
  EXPECT_THAT(j["curves"]["OBEM_V_EMKOSTI1"]["description"].get<std::string>(),
              HasSubstr("Obem v emkosti"));
  EXPECT_EQ(j["well"]["WELL"]["value"], "31");
  EXPECT_EQ(j["well"]["FLD"]["value"], "Yuzhnoe");
  EXPECT_EQ(j["well"]["STRT"]["value"], "2000.25");
  EXPECT_EQ(j["well"]["STOP"]["value"], "2001.75");
  EXPECT_EQ(j["well"]["STEP"]["value"], "0");
  EXPECT_EQ(j["well"]["NULL"]["value"], "-999.25");
  EXPECT_EQ(j["well"]["COMP"]["value"], "Zakazchik");
  EXPECT_EQ(j["well"]["DATE"]["value"], "01.01.1971");
  const nlohmann::json expected = {{2000.25, 2001.25, 1990, 2, 100.5, 150, -999.25},
                                   {2000.75, 2001.75, 1990, 2, 101.5, 150, -999.25},
                                   {2001.25, 2002.25, 1990, 2, 102.5, 150, 25.5},
                                   {2001.75, 2002.75, 1990, 2, 103.5, 150, 38.25}};
  EXPECT_EQ(j["data"], expected);
  EXPECT_EQ(j["other"], "");
}

TEST(RecLasExport, ATimeLogRisesStrictlyAcrossRestartsAndCarriesTheBottomDepth) {
  testing_support::TempDir dir;
  const std::string file = write_growing_file(dir, "0004.realtim", true);
  const std::string las = dir.file("out.las");
  const golden::Run r = golden::run_program(
      {"rec", "export", file, "--las", las, "--params", "объем_в_емкости1,нет_такого"}, dir.path());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_THAT(r.err, HasSubstr("no parameter 'нет_такого'"));
  EXPECT_THAT(r.err, HasSubstr(file + ": 3 line(s) left out, the time of each not after the "
                                      "line before it"));
  const nlohmann::json j = read_with_las_js(dir, las);
  ASSERT_FALSE(j.is_discarded());
  EXPECT_EQ(j["header"],
            nlohmann::json({"TIME", "HDEP", "BDEP", "DEP3", "OPER", "OBEM_V_EMKOSTI1"}));
  EXPECT_EQ(j["curves"]["TIME"]["unit"], "S");
  EXPECT_EQ(j["curves"]["HDEP"]["unit"], "M");
  EXPECT_THAT(j["other"].get<std::string>(), HasSubstr("3 line(s) of the recording left out"));
  // Whole seconds since 1970 and hundredths; the lines of times already passed are left out.
  const double t0 = 86400 * 365;
  const nlohmann::json expected = {
      {t0, 2000.25, 2001.25, 1990, 2, -999.25},   {t0 + 10, 2000.75, 2001.75, 1990, 2, -999.25},
      {t0 + 20, 2001.25, 2002.25, 1990, 2, 25.5}, {t0 + 30, 2001.75, 2002.75, 1990, 2, 38.25},
      {t0 + 40, 2002.25, 2003.25, 1990, 2, 51},   {31536040.05, 2002.25, 2003.25, 1990, 2, 51},
      {t0 + 50, 2002.75, 2003.75, 1990, 2, 63.75}};
  EXPECT_EQ(j["data"], expected);
  EXPECT_EQ(j["well"]["STRT"]["value"], "31536000");
  EXPECT_EQ(j["well"]["STOP"]["value"], "31536050");
}

TEST(RecLasExport, StandardOutputTakesTheTextAndTheRecordingItselfIsRefused) {
  testing_support::TempDir dir;
  const std::string file = write_growing_file(dir, "0004.realdep");
  const std::string before = testing_support::read_file(file);
  const golden::Run to_file =
      golden::run_program({"rec", "export", file, "--las", dir.file("out.las")}, dir.path());
  ASSERT_EQ(to_file.exit_code, 0) << to_file.err;
  const golden::Run out = golden::run_program({"rec", "export", file, "--las", "-"}, dir.path());
  ASSERT_EQ(out.exit_code, 0) << out.err;
  EXPECT_EQ(out.out, testing_support::read_file(dir.file("out.las")));
  EXPECT_THAT(out.err, HasSubstr("written to the standard output"));
  const golden::Run self = golden::run_program({"rec", "export", file, "--las", file}, dir.path());
  EXPECT_EQ(self.exit_code, 1);
  EXPECT_THAT(self.err, HasSubstr("it is the recording being exported"));
  EXPECT_EQ(testing_support::read_file(file), before);
}

}  // namespace
