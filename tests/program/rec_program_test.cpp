// rigstation rec info / rec dump on a file the recorder wrote, whole and cut by a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "golden_harness.h"
#include "params/all_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "support/fakes.h"

using testing::HasSubstr;

namespace {

// Three lines over hook load and pressure, written by the recorder.
std::string write_file(const testing_support::TempDir& dir) {
  params::AllParams catalogue{dir.path(), lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  rtf::RealTimeFile rec(storage, catalogue);
  const std::string file = dir.file("0004.realdep");
  rec.save_text_values(file, {{"скважина", "31"}, {"номер_рейса", "4"}});
  auto params = std::make_shared<std::vector<rtf::RecordedParam>>();
  params->push_back({"Вес на крюке", "т", "Вес", "вес_на_крюке", 0, 200});
  params->push_back({"Давление на входе", "атм.", "Давл", "давление_на_входе", 0, 400});
  for (int i = 0; i < 3; ++i) {
    auto task = std::make_shared<rtf::Records>();
    task->file = file;
    rtf::ValuesLine line;
    line.time = 86400 * 365 + 60 * i;  // 01.01.1971 00:00 + i minutes
    line.first_depth = 1500.5f + i;
    line.bit_depth = 1500.5f + i;
    line.third_depth = 1490.25f;
    line.operation = 2;
    line.values = {80.5f + i, 120};
    task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
    rec.queue_task(task);
  }
  rec.write_pending();
  return file;
}

TEST(RecProgram, InfoAndCsvDumpOfAWholeFile) {
  testing_support::TempDir dir;
  const std::string file = write_file(dir);
  const golden::Run info = golden::run_program({"rec", "info", file}, dir.path());
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("blocks: 6, writer runs: 1, texts: 1, parameter lists: 1, "
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
  EXPECT_THAT(dump.err, HasSubstr(file + ": offset " + std::to_string(bytes.size() + 5 - 56)));
  EXPECT_THAT(dump.err, HasSubstr("cut block of type 1"));
  EXPECT_THAT(dump.out, HasSubstr("вес_на_крюке=81.5"));
  EXPECT_THAT(dump.out, testing::Not(HasSubstr("82.5")));
  const golden::Run missing = golden::run_program({"rec", "info", file + ".нет"}, dir.path());
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_THAT(missing.err, HasSubstr(file + ".нет"));
}

}  // namespace
