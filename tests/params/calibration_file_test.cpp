// The calibration text file of one row: its exact text, reading it back, old files in the
// 8-bit code page, files of other rows and hand-edited lines.
#include <gtest/gtest.h>

#include <string>

#include "lib/str_enc.h"
#include "params/calibration_file.h"
#include "params/param.h"
#include "support/fakes.h"

namespace {

using params::CalibrLoadStatus;
using params::Param;
using testing_support::TempDir;

Param hook_row() {
  Param p;
  p.identifier = "вес_на_крюке";
  return p;
}

TEST(CalibrationFile, FileOfAnotherRowOrNoFileLeavesThePoints) {
  TempDir dir;
  Param other;
  other.identifier = "давление_на_входе";
  other.points = {{1, 1}};
  other.save_calibr_to_file(dir.file("other.txt"), lib::posix_file_system());

  Param p = hook_row();
  p.points = {{5, 5}};
  EXPECT_EQ(p.load_calibr_from_file(dir.file("other.txt"), lib::posix_file_system()).status,
            CalibrLoadStatus::kOtherParam);
  EXPECT_EQ(p.load_calibr_from_file(dir.file("нет.txt"), lib::posix_file_system()).status,
            CalibrLoadStatus::kCannotRead);
  lib::write_file_atomically(dir.file("junk.txt"), "просто текст\n1 2\n", lib::posix_file_system());
  EXPECT_EQ(p.load_calibr_from_file(dir.file("junk.txt"), lib::posix_file_system()).status,
            CalibrLoadStatus::kNotCalibrFile);
  lib::write_file_atomically(dir.file("empty.txt"), "", lib::posix_file_system());
  EXPECT_EQ(p.load_calibr_from_file(dir.file("empty.txt"), lib::posix_file_system()).status,
            CalibrLoadStatus::kNotCalibrFile);
  EXPECT_EQ(p.points, (params::CalibrPoints{{5, 5}}));
}

TEST(CalibrationFile, APointThatIsNoNumberRefusesTheFileAndNamesItsLine) {
  TempDir dir;
  Param p = hook_row();
  p.points = {{5, 5}};
  for (const char* bad :
       {"            nan    2.000000e+01", "   1.000000e+00            inf", "-inf 3"}) {
    SCOPED_TRACE(bad);
    lib::write_file_atomically(dir.file("bad.txt"),
                               std::string("encoding=utf8\n"
                                           "param_name=вес_на_крюке\n"
                                           "   0.000000e+00    0.000000e+00\n") +
                                   bad + "\n",
                               lib::posix_file_system());
    const auto result = p.load_calibr_from_file(dir.file("bad.txt"), lib::posix_file_system());
    EXPECT_EQ(result.status, CalibrLoadStatus::kBadPoint);
    EXPECT_EQ(result.bad_line, 4);
    EXPECT_EQ(p.points, (params::CalibrPoints{{5, 5}}));
  }
}

TEST(CalibrationFile, PointsThatCannotConvertRefuseTheFileAndSayWhy) {
  TempDir dir;
  Param same_x = hook_row();
  same_x.points = {{1, 10}, {1, 20}};
  same_x.save_calibr_to_file(dir.file("c.txt"), lib::posix_file_system());
  Param p = hook_row();
  p.points = {{5, 5}};
  const auto result = p.load_calibr_from_file(dir.file("c.txt"), lib::posix_file_system());
  EXPECT_EQ(result.status, CalibrLoadStatus::kUnusable);
  EXPECT_EQ(result.fault, "points 1 and 2 have the same x, 1");
  EXPECT_EQ(p.points, (params::CalibrPoints{{5, 5}}));
}

TEST(CalibrationFile, OldFileWithoutEncodingLineIsInTheEightBitCodePage) {
  TempDir dir;
  lib::write_file_atomically(dir.file("old.txt"),
                             lib::utf8_to_cp1251("param_name=вес_на_крюке\r\n") +
                                 "   1.000000e+00    2.000000e+01\r\n"
                                 "   3.000000e+00    4.000000e+01\r\n",
                             lib::posix_file_system());
  Param p = hook_row();
  EXPECT_EQ(p.load_calibr_from_file(dir.file("old.txt"), lib::posix_file_system()).status,
            CalibrLoadStatus::kLoaded);
  EXPECT_EQ(p.points, (params::CalibrPoints{{1, 20}, {3, 40}}));
}

TEST(CalibrationFile, HandEditedLinesAreReadWhereTheyMakeSense) {
  const auto parsed = params::calibration_file::parse(
      "encoding=utf8\nparam_name=x\n"
      "1 2\n"                              // not in the columns, but two numbers
      "\n"                                 // blank: passed over
      "  3,5\t  70\n"                      // comma separator and a tab
      "одна строка\n"                      // no numbers: skipped
      "   5.000000e+00\n"                  // no y: skipped
      "   6.000000e+00    1.200000e+02");  // last line without a line end
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->identifier, "x");
  EXPECT_EQ(parsed->points, (params::CalibrPoints{{1, 2}, {3.5, 70}, {6, 120}}));
  EXPECT_EQ(parsed->skipped_lines, 2);
}

// Such a point would make every reading converted through it "nan" or infinite.
TEST(CalibrationFile, PointsThatAreNotFiniteNumbersAreNeverKeptAndTheFirstIsNamed) {
  const auto parsed = params::calibration_file::parse(
      "encoding=utf8\nparam_name=x\n"
      "   2.000000e+00    4.000000e+00\n"
      "            nan    1.000000e+00\n"
      "   1.000000e+00            -inf\n"
      "inf 2\n");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->points, (params::CalibrPoints{{2, 4}}));
  EXPECT_EQ(parsed->first_bad_line, 4);
}

TEST(CalibrationFile, UnknownEncodingNameFallsBackToTheCodePage) {
  const std::string bytes = "encoding=cp1251\n" + lib::utf8_to_cp1251("param_name=тальблок\n");
  const auto parsed = params::calibration_file::parse(bytes);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->identifier, "тальблок");
}

TEST(CalibrationFile, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  Param p = hook_row();
  p.points = {{1, 1}};
  p.save_calibr_to_file(dir.file("c.txt"), lib::posix_file_system());
  const std::string before = testing_support::read_file(dir.file("c.txt"));
  testing_support::FaultyFileSystem faulty;
  faulty.fail_after_bytes = 10;
  p.points.push_back({2, 2});
  EXPECT_THROW(p.save_calibr_to_file(dir.file("c.txt"), faulty), lib::io::StreamError);
  EXPECT_EQ(testing_support::read_file(dir.file("c.txt")), before);
}

}  // namespace
