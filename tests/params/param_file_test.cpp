// The parameter file and its ".extended" companion: the exact layout written, every older
// version read, round trips through the table, and damaged or foreign files.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "file_builder.h"
#include "lib/str_enc.h"
#include "params/all_params.h"
#include "params/par_tabl.h"
#include "params/param_file.h"
#include "support/fakes.h"

namespace {

using params::Param;
using params::ParTabl;
using params_test::ExtendedBuilder;
using params_test::FileBuilder;
using params_test::RowFields;
using testing_support::TempDir;

// clang-format off
const RowFields kHook = {
    "Вес на крюке", "W кр.", "т", "вес_на_крюке", 0, 20, 0, 0, 200, 1, 0, 0, 0};
const RowFields kPressure = {
    "Давление ПЖ на входе", "P вх.", "атм.", "давление_на_входе", 1, 250, -1.5f, 0, 250, 10, 0, 2, 0};
const RowFields kBlock = {
    "Положение тальблока", "Тальблок", "м", "тальблок", -1, 24, 0, 0, 50, 1, 0, 0, -1};
// clang-format on

void expect_row(const Param& p, const RowFields& r, int version) {
  SCOPED_TRACE(r.identifier);
  EXPECT_EQ(std::tie(p.full_name, p.short_name, p.unit, p.identifier),
            std::tie(r.full_name, r.short_name, r.unit, r.identifier));
  EXPECT_EQ(std::tie(p.channel.channel, p.averaging, p.attribute),
            std::tie(r.channel, r.averaging, r.attribute));
  EXPECT_EQ(std::tie(p.range, p.zero, p.scale_min, p.scale_max),
            std::tie(r.range, r.zero, r.scale_min, r.scale_max));
  // Fields an older version does not carry keep their defaults.
  EXPECT_EQ(p.channel.module, version >= 3 ? r.module : 0);
  EXPECT_EQ(p.channel.type, version >= 4 ? r.type : 0);
}

class ParamFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  params::AllParams catalogue{dir.path()};
  std::vector<std::string> log;
  ParTabl table{catalogue, {[this](const std::string& m) { log.push_back(m); }, {}, nullptr}};

  Param row(const RowFields& r) {
    Param p;
    std::tie(p.full_name, p.short_name, p.unit, p.identifier) =
        std::tie(r.full_name, r.short_name, r.unit, r.identifier);
    p.channel = params::USOChannel(r.module, r.channel, r.type);
    std::tie(p.range, p.zero, p.scale_min, p.scale_max) =
        std::tie(r.range, r.zero, r.scale_min, r.scale_max);
    p.averaging = r.averaging;
    p.attribute = r.attribute;
    return p;
  }
};

// --- Layout of the written file

TEST_F(ParamFileTest, WritesTheCurrentLayoutByteForByte) {
  std::vector<Param> rows = {row(kHook), row(kPressure), row(kBlock)};
  rows[1].points = {{0, 0}, {5, 250}};
  rows[2].points = {{1, 1}};  // no device channel: not written
  const std::string written = params::param_file::write(rows, {"сумм_гвл", "PRVP"});

  FileBuilder expected;
  expected.header(4).row(kHook).row(kPressure).row(kBlock).end_rows();
  expected.calibration(0, {}).calibration(1, {{0, 0}, {5, 250}}).end_calibration();
  expected.db_set({"PRVP", "сумм_гвл"});  // set order: bytes of the UTF-8 text
  EXPECT_EQ(written, expected.bytes());
  // The header is the text "ver=" and version 4.
  EXPECT_EQ(written.substr(0, 9), std::string("ver=\0\x04\0\0\0", 9));
}

// A text cannot carry its terminator into the file, and names that look like the marks of
// the layout do not end the rows.
TEST_F(ParamFileTest, NamesCannotEndTheirTextOrTheRowsEarly) {
  std::vector<Param> rows = {row(kHook), row(kPressure), row(kBlock)};
  rows[0].full_name = "\n";
  rows[1].full_name = std::string("ver=\0", 5);
  rows[2].full_name = std::string("Вес\0скрытое", 20);
  const auto back = params::param_file::read(params::param_file::write(rows, {}), 512);
  EXPECT_TRUE(back.problems.empty());
  ASSERT_EQ(back.rows.size(), 3u);
  EXPECT_EQ(back.rows[0].full_name, "\n ");
  EXPECT_EQ(back.rows[1].full_name, "ver= ");
  EXPECT_EQ(back.rows[2].full_name, "Вес");
  EXPECT_EQ(back.rows[2].identifier, "тальблок");
}

// --- Round trips through the table

TEST_F(ParamFileTest, SaveThenLoadRestoresEveryFieldPointSetAndExtension) {
  table.add(row(kHook));
  table.add(row(kPressure));
  table.add(row(kBlock));
  table.add("сероводород1");
  table[0].points = {{0, 0}, {1.25, 10.5}, {5, 200}};
  table[1].points = {{2.5, 125}};
  table[1].ext_info.set("wits", "0121 Давление");
  table[2].ext_info.set("wits_server", "ZTS-1");
  table[3].channel.module = 4;
  table[3].channel.type = 2;
  table.set_is_db_param("сероводород1", true);
  table.set_is_db_param("тальблок", true);  // a constant: stays out of the set
  table.check();
  const std::vector<Param> saved = table.rows();

  const std::string file = dir.file("params.bin");
  ASSERT_TRUE(table.save_to(file));
  EXPECT_TRUE(log.empty());

  ParTabl back(catalogue);
  back.add("нагрузка");
  ASSERT_TRUE(back.load_from(file));
  ASSERT_EQ(back.get_items_count(), static_cast<int>(saved.size()));
  for (int i = 0; i < back.get_items_count(); ++i) {
    EXPECT_TRUE(back[i].equal(saved[static_cast<std::size_t>(i)])) << i;
    EXPECT_EQ(back[i].ext_info, saved[static_cast<std::size_t>(i)].ext_info) << i;
  }
  EXPECT_EQ(back.db_params(), (std::set<std::string>{"сероводород1"}));
  EXPECT_EQ(back.text_encoding(), lib::StringEnc::kUtf8);
}

TEST_F(ParamFileTest, Version0FileInTheEightBitCodePageLoadsAndSavesAsVersion4) {
  RowFields hook = kHook;
  hook.module = 3;  // not carried by version 0
  FileBuilder old;
  old.row(hook).row(kPressure).row(kBlock).end_rows();
  old.calibration(1, {{0, 10}, {4, 90}});
  const std::string file = dir.file("old.bin");
  lib::write_file_atomically(file, old.bytes());
  // Its companion is in the same code page.
  lib::write_file_atomically(file + ".extended",
                             ExtendedBuilder(false)
                                 .str("EXT_NBL_FILE")
                                 .i32(1)
                                 .entry("тальблок", {{"wits", "Тальблок по WITS"}})
                                 .bytes());

  ASSERT_TRUE(table.load_from(file));
  EXPECT_TRUE(log.empty()) << log.front();
  ASSERT_EQ(table.get_items_count(), 3);
  expect_row(table[0], hook, 0);
  expect_row(table[1], kPressure, 0);
  expect_row(table[2], kBlock, 0);
  EXPECT_EQ(table[1].points, (params::CalibrPoints{{0, 10}, {4, 90}}));
  EXPECT_EQ(table[2].ext_info.get("wits"), "Тальблок по WITS");
  EXPECT_EQ(table.text_encoding(), lib::StringEnc::kCp1251);

  const std::string saved = dir.file("new.bin");
  ASSERT_TRUE(table.save_to(saved));
  const std::string bytes = testing_support::read_file(saved);
  EXPECT_EQ(bytes.substr(0, 9), std::string("ver=\0\x04\0\0\0", 9));
  EXPECT_NE(bytes.find("Вес на крюке"), std::string::npos);  // now UTF-8
  ParTabl again(catalogue);
  ASSERT_TRUE(again.load_from(saved));
  ASSERT_EQ(again.get_items_count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(again[i].equal(table[i])) << i;
  EXPECT_EQ(again[2].ext_info.get("wits"), "Тальблок по WITS");
}

TEST_F(ParamFileTest, ReadsEveryOlderVersion) {
  for (int version = 1; version <= 3; ++version) {
    SCOPED_TRACE(version);
    RowFields pressure = kPressure;
    pressure.module = 5;
    pressure.type = 2;
    FileBuilder f;
    f.header(version).row(kHook).row(pressure).end_rows();
    f.calibration(1, {{1, 2}, {3, 4}});
    if (version >= 2) f.end_calibration().db_set({"сумм_гвл", "вес_на_крюке"});

    const auto read = params::param_file::read(f.bytes(), 512);
    EXPECT_TRUE(read.problems.empty()) << read.problems.front();
    EXPECT_EQ(read.version, version);
    EXPECT_EQ(read.encoding, lib::StringEnc::kUtf8);
    ASSERT_EQ(read.rows.size(), 2u);
    expect_row(read.rows[0], kHook, version);
    expect_row(read.rows[1], pressure, version);
    EXPECT_EQ(read.rows[1].points, (params::CalibrPoints{{1, 2}, {3, 4}}));

    table.load_from_memory(f.bytes(), std::nullopt);
    // The constant parameter read from an old set stays out of the table's set.
    EXPECT_EQ(table.db_params(),
              version >= 2 ? std::set<std::string>{"сумм_гвл"} : std::set<std::string>{});
  }
}

TEST_F(ParamFileTest, OldWritersEndedCalibrationWithMinusOne) {
  FileBuilder f;
  f.row(kHook).row(kPressure).end_rows();
  f.calibration(0, {{0, 1}, {1, 2}}).i32(-1).i32(0);
  f.i32(1).i32(1).f64(9).f64(9);  // after the end: not read
  const auto read = params::param_file::read(f.bytes(), 512);
  EXPECT_TRUE(read.problems.empty());
  EXPECT_EQ(read.rows[0].points.size(), 2u);
  EXPECT_TRUE(read.rows[1].points.empty());
}

TEST_F(ParamFileTest, RowsWithoutIdentifierAreDroppedAndCalibrationStillFindsItsRow) {
  RowFields blank = kBlock;
  blank.identifier = "";
  FileBuilder f;
  f.header(4).row(kHook).row(blank).row(kPressure).end_rows();
  f.calibration(0, {{0, 0}, {1, 1}}).calibration(1, {{5, 5}}).calibration(2, {{2, 20}});
  f.end_calibration().db_set({});
  table.load_from_memory(f.bytes(), std::nullopt);
  ASSERT_EQ(table.get_items_count(), 2);
  EXPECT_EQ(table[0].points, (params::CalibrPoints{{0, 0}, {1, 1}}));
  EXPECT_EQ(table[1].identifier, "давление_на_входе");
  EXPECT_EQ(table[1].points, (params::CalibrPoints{{2, 20}}));
}

// --- Damaged and foreign files

TEST_F(ParamFileTest, MissingFileLeavesTheTableAsItWas) {
  table.add("вес_на_крюке");
  EXPECT_FALSE(table.load_from(dir.file("нет.bin")));
  EXPECT_EQ(table.get_items_count(), 1);
  EXPECT_TRUE(log.empty());
}

TEST_F(ParamFileTest, LoadFallsBackToTheAlternativeFileAndSignalsFirst) {
  int beeps = 0;
  ParTabl t(catalogue, {{}, [&] { ++beeps; }, nullptr});
  FileBuilder f;
  f.header(4).row(kHook).end_rows().end_calibration().db_set({});
  lib::write_file_atomically(dir.file("alt.bin"), f.bytes());
  t.set_file_names(dir.file("main.bin"), dir.file("alt.bin"));
  EXPECT_TRUE(t.load());
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(t.get_items_count(), 1);
  t.set_file_names(dir.file("main.bin"), dir.file("нет.bin"));
  EXPECT_FALSE(t.load());
  EXPECT_EQ(t.get_items_count(), 1);
  // save() writes the main file.
  EXPECT_TRUE(t.save());
  EXPECT_FALSE(testing_support::read_file(dir.file("main.bin")).empty());
}

TEST_F(ParamFileTest, EveryCutOfAFileKeepsTheRowsBeforeTheCutAndLogs) {
  FileBuilder f;
  f.header(4).row(kHook).row(kPressure).row(kBlock).end_rows();
  f.calibration(0, {{0, 0}, {5, 100}}).calibration(1, {{1, 1}}).end_calibration();
  f.db_set({"сумм_гвл", "метан1"});
  const std::string& full = f.bytes();
  std::size_t previous_rows = 0;
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    log.clear();
    table.load_from_memory(std::string_view(full).substr(0, cut), std::nullopt);
    EXPECT_FALSE(log.empty());
    const std::vector<std::string> ids = {"вес_на_крюке", "давление_на_входе", "тальблок"};
    ASSERT_LE(table.get_items_count(), 3);
    for (int i = 0; i < table.get_items_count(); ++i) EXPECT_EQ(table[i].identifier, ids[i]);
    EXPECT_GE(static_cast<std::size_t>(table.get_items_count()), previous_rows);
    previous_rows = static_cast<std::size_t>(table.get_items_count());
  }
  EXPECT_EQ(previous_rows, 3u);
}

TEST_F(ParamFileTest, DamagedCalibrationCountKeepsTheRowsAndStopsReading) {
  FileBuilder f;
  f.header(4).row(kHook).row(kPressure).end_rows();
  f.calibration(0, {{0, 0}, {5, 100}});
  f.i32(1).i32(0x10000000);  // far more points than the file holds
  table.load_from_memory(f.bytes(), std::nullopt);
  ASSERT_EQ(table.get_items_count(), 2);
  EXPECT_EQ(table[0].points.size(), 2u);
  EXPECT_TRUE(table[1].points.empty());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("does not fit"), std::string::npos);

  log.clear();
  FileBuilder negative;
  negative.header(4).row(kHook).end_rows().i32(0).i32(-7);
  table.load_from_memory(negative.bytes(), std::nullopt);
  EXPECT_EQ(table.get_items_count(), 1);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(ParamFileTest, CalibrationForRowsOutsideTheTableIsDropped) {
  FileBuilder f;
  f.header(4).row(kHook).end_rows();
  f.calibration(7, {{1, 1}}).calibration(-3, {{2, 2}}).calibration(0, {{3, 3}});
  f.end_calibration().db_set({});
  table.load_from_memory(f.bytes(), std::nullopt);
  ASSERT_EQ(table.get_items_count(), 1);
  EXPECT_EQ(table[0].points, (params::CalibrPoints{{3, 3}}));
  EXPECT_EQ(table[99].points.size(), 0u);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("2 calibration entries"), std::string::npos);
}

TEST_F(ParamFileTest, UnknownVersionIsRefusedWithoutTouchingTheTable) {
  table.add("вес_на_крюке");
  table.set_is_db_param("сумм_гвл", true);
  for (int version : {5, -1, 0x7FFFFFFF}) {
    log.clear();
    FileBuilder f;
    f.header(version).row(kPressure).end_rows();
    table.load_from_memory(f.bytes(), std::nullopt);
    EXPECT_EQ(table.get_items_count(), 1);
    EXPECT_EQ(table[0].identifier, "вес_на_крюке");
    EXPECT_TRUE(table.is_db_param("сумм_гвл"));
    EXPECT_EQ(log.size(), 1u);
  }
}

TEST_F(ParamFileTest, HugeDatabaseSetCountIsRefused) {
  FileBuilder f;
  f.header(4).row(kHook).end_rows().end_calibration().i32(1000000).raw_text("метан1");
  table.load_from_memory(f.bytes(), std::nullopt);
  EXPECT_EQ(table.get_items_count(), 1);
  EXPECT_TRUE(table.db_params().empty());
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(ParamFileTest, MoreRowsThanSlotsAreCut) {
  FileBuilder f;
  f.header(4);
  for (int i = 0; i < params::kMaxParams + 3; ++i) {
    RowFields r = kHook;
    r.identifier = "p" + std::to_string(i);
    f.row(r);
  }
  f.end_rows().end_calibration().db_set({});
  table.load_from_memory(f.bytes(), std::nullopt);
  EXPECT_EQ(table.get_items_count(), params::kMaxParams);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(ParamFileTest, ExtendedFileWithoutItsMarkIsIgnored) {
  FileBuilder f;
  f.header(4).row(kHook).end_rows().end_calibration().db_set({});
  const std::string foreign =
      ExtendedBuilder().str("OTHER_FILE").i32(1).entry("вес_на_крюке", {{"wits", "x"}}).bytes();
  table.load_from_memory(f.bytes(), foreign);
  EXPECT_TRUE(table[0].ext_info.empty());
  EXPECT_EQ(log.size(), 1u);
  log.clear();
  table.load_from_memory(f.bytes(), std::string_view("\x01", 1));
  EXPECT_TRUE(table[0].ext_info.empty());
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(ParamFileTest, ExtendedEntriesFindRowsByIdentifierAndSurviveACut) {
  FileBuilder f;
  f.header(4).row(kHook).row(kPressure).end_rows().end_calibration().db_set({});
  const std::string ext = ExtendedBuilder()
                              .str("EXT_NBL_FILE")
                              .i32(3)
                              .entry("ДАВЛЕНИЕ_НА_ВХОДЕ", {{"wits", "1"}})
                              .entry("нет_такого", {{"wits", "2"}})
                              .entry("вес_на_крюке", {{"half_life", "30"}, {"radio_koeff", "1"}})
                              .bytes();
  table.load_from_memory(f.bytes(), ext);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(table[1].ext_info.get("wits"), "1");
  EXPECT_EQ(table[0].ext_info.get("radio_koeff"), "1");

  // Cut inside the last entry: the entries before it still apply.
  log.clear();
  table.load_from_memory(f.bytes(), std::string_view(ext).substr(0, ext.size() - 3));
  EXPECT_EQ(table[1].ext_info.get("wits"), "1");
  EXPECT_TRUE(table[0].ext_info.empty());
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(ParamFileTest, LoadingExtendedInformationAloneKeepsRowsItDoesNotName) {
  table.add(row(kHook));
  table.add(row(kPressure));
  table[0].ext_info.set("wits", "старое");
  table[1].ext_info.set("wits", "старое");
  const std::string file = dir.file("x.extended");
  lib::write_file_atomically(file, ExtendedBuilder()
                                       .str("EXT_NBL_FILE")
                                       .i32(1)
                                       .entry("тальблок", {})
                                       .entry("давление_на_входе", {{"wits", "новое"}})
                                       .bytes());
  // The count says one entry, so the second is never read.
  table.load_extended_info(file, lib::StringEnc::kUtf8);
  EXPECT_EQ(table[0].ext_info.get("wits"), "старое");
  EXPECT_EQ(table[1].ext_info.get("wits"), "старое");
  lib::write_file_atomically(file, ExtendedBuilder()
                                       .str("EXT_NBL_FILE")
                                       .i32(1)
                                       .entry("давление_на_входе", {{"wits", "новое"}})
                                       .bytes());
  table.load_extended_info(file, lib::StringEnc::kUtf8);
  EXPECT_EQ(table[1].ext_info.get("wits"), "новое");
  EXPECT_EQ(table[0].ext_info.get("wits"), "старое");
}

TEST_F(ParamFileTest, FailedSaveKeepsTheOldFilesAndLogs) {
  const std::string file = dir.file("p.bin");
  table.add("вес_на_крюке");
  ASSERT_TRUE(table.save_to(file));
  const std::string before = testing_support::read_file(file);

  testing_support::FaultyFileSystem faulty;
  faulty.fail_rename = true;
  ParTabl t(catalogue, {[this](const std::string& m) { log.push_back(m); }, {}, &faulty});
  t.add("давление_на_входе");
  EXPECT_FALSE(t.save_to(file));
  EXPECT_EQ(testing_support::read_file(file), before);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(file), std::string::npos);

  // The companion failing alone is reported as well.
  log.clear();
  faulty.only_paths_with = ".extended";
  EXPECT_FALSE(t.save_to(file));
  EXPECT_EQ(log.size(), 1u);
}

}  // namespace
