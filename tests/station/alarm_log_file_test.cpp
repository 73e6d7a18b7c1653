// The alarm log file: what is written reads back, damage costs only its own line, a refused
// write waits in memory, and a full file goes aside instead of growing for ever.
#include "station/alarm_log_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>

#include <cmath>
#include <fstream>

#include "station/alarm_log_format.h"
#include "support/fakes.h"

using station::AlarmLogRecord;
using ::testing::HasSubstr;
using testing_support::TempDir;

namespace {

AlarmLogRecord record(const std::string& parameter, float extreme) {
  AlarmLogRecord r;
  r.started = *lib::parse_date_time("01.03.2026 10:00:00");
  r.ended = *lib::parse_date_time("01.03.2026 10:00:31");
  r.parameter = parameter;
  r.kind = 1;
  r.max = 100.5f;
  r.extreme = extreme;
  r.value = 101.25f;
  r.unit = "тс";
  r.text = "Параметр ''Вес\tна крюке'' = 101.25 тс\n(реле №2) !";
  return r;
}

void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(AlarmLogFile, RecordsReadBackFieldForFieldAfterTheHeader) {
  TempDir dir;
  const std::string path = dir.path() + "alarms.log";
  std::vector<std::string> errors;
  station::AlarmLogWriter w(path, lib::posix_file_system(),
                            [&](const std::string& m) { errors.push_back(m); });
  AlarmLogRecord a = record("вес_на_крюке", 120.75f);
  AlarmLogRecord b = record("давление_на_входе", 0.1f);
  b.kind = 0;
  b.max.reset();
  b.min = -5.5f;
  EXPECT_TRUE(w.append(a));
  EXPECT_TRUE(w.append(b));
  const auto text = lib::read_whole_file(path, lib::posix_file_system());
  ASSERT_TRUE(text);
  EXPECT_EQ(text->rfind(std::string(station::alarm_log_format::kHeader) + "\n", 0), 0u);
  const auto back = station::read_alarm_log(path, lib::posix_file_system());
  EXPECT_TRUE(back.problems.empty());
  ASSERT_EQ(back.records.size(), 2u);
  // Tabs and line breaks of the text would split the line: they become blanks.
  a.text = "Параметр ''Вес на крюке'' = 101.25 тс (реле №2) !";
  b.text = a.text;
  EXPECT_EQ(back.records[0], a);
  EXPECT_EQ(back.records[1], b);
  EXPECT_TRUE(errors.empty());
}

TEST(AlarmLogFile, ADamagedLineIsNamedAndSkippedAndTheOthersStay) {
  TempDir dir;
  const std::string path = dir.path() + "alarms.log";
  const std::string good = station::format_alarm_log_line(record("вес_на_крюке", 120));
  std::string bad_time = good;
  bad_time.replace(0, 2, "99");
  std::string bad_value = good;
  bad_value.replace(bad_value.find("120"), 3, "1x0");
  write_text(path, std::string(station::alarm_log_format::kHeader) + "\n" + good + "\n" +
                       "only\tthree\tfields\n" + bad_time + "\n" + bad_value + "\n" + good);
  const auto back = station::read_alarm_log(path, lib::posix_file_system());
  EXPECT_EQ(back.records.size(), 2u);
  ASSERT_EQ(back.problems.size(), 3u);
  EXPECT_THAT(back.problems[0], HasSubstr("line 3: it has 3 fields, not 10"));
  EXPECT_THAT(back.problems[1], HasSubstr("line 4: the time '99.03.2026 10:00:00'"));
  EXPECT_THAT(back.problems[2], HasSubstr("line 5: the value '1x0'"));
  EXPECT_THAT(back.problems[2], HasSubstr("'" + path + "'"));
}

TEST(AlarmLogFile, ARefusedLineWaitsIsReportedOnceAndIsWrittenFirstLater) {
  TempDir dir;
  const std::string path = dir.path() + "alarms.log";
  testing_support::FaultyFileSystem fs;
  fs.fail_open_with = "alarms.log";
  std::vector<std::string> errors;
  station::AlarmLogWriter w(path, fs, [&](const std::string& m) { errors.push_back(m); });
  EXPECT_FALSE(w.append(record("a", 1)));
  EXPECT_FALSE(w.append(record("b", 2)));
  EXPECT_EQ(w.pending(), 2u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_THAT(errors[0], HasSubstr("cannot write the alarm log '" + path + "'"));
  fs.fail_open_with.clear();
  EXPECT_TRUE(w.flush());
  EXPECT_EQ(w.pending(), 0u);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_THAT(errors[1], HasSubstr("written again"));
  const auto back = station::read_alarm_log(path, lib::posix_file_system());
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_EQ(back.records[0].parameter, "a");
  EXPECT_EQ(back.records[1].parameter, "b");
}

TEST(AlarmLogFile, AFullFileGoesAsideAndEveryKeptFileIsReadOldestFirst) {
  TempDir dir;
  const std::string path = dir.path() + "alarms.log";
  // An earlier version's old file is the oldest of all.
  write_text(path + ".old", std::string(station::alarm_log_format::kHeader) + "\n" +
                                station::format_alarm_log_line(record("прежний", 1)) + "\n");
  testing_support::FaultyFileSystem fs;
  std::vector<std::string> errors;
  station::AlarmLogWriter w(path, fs, [&](const std::string& m) { errors.push_back(m); });
  w.set_limits({1000, 2});
  const auto numbers_read = [&] {
    const auto back = station::read_alarm_log(path, fs);
    EXPECT_TRUE(back.problems.empty());
    std::vector<int> numbers;
    for (const auto& r : back.records)
      numbers.push_back(r.parameter == "прежний" ? -1 : static_cast<int>(r.extreme));
    return numbers;
  };
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(w.append(record("p", static_cast<float>(i))));
  for (const std::string& name : {path, path + ".1", path + ".2"})
    EXPECT_LE(testing_support::read_file(name).size(), 1000u) << name;
  EXPECT_FALSE(lib::exists(fs, path + ".3"));
  std::vector<int> numbers = numbers_read();
  ASSERT_GT(numbers.size(), 10u);
  EXPECT_EQ(numbers.front(), -1);
  for (std::size_t k = 1; k < numbers.size(); ++k)
    EXPECT_EQ(numbers[k], static_cast<int>(40 - numbers.size() + k));

  // A folder that refuses renames: the file takes up to twice its limit, then the episodes
  // wait in memory until it can be moved aside again; none is lost.
  fs.fail_rename = true;
  for (int i = 40; i < 80; ++i) w.append(record("p", static_cast<float>(i)));
  EXPECT_LE(testing_support::read_file(path).size(), 2000u);
  EXPECT_GT(w.pending(), 0u);
  ASSERT_FALSE(errors.empty());
  EXPECT_THAT(errors[0], HasSubstr("cannot move the full alarm log '" + path + "' aside"));
  fs.fail_rename = false;
  EXPECT_TRUE(w.flush());
  EXPECT_EQ(numbers_read().back(), 79);
}

}  // namespace
