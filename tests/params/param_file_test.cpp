// The parameter file and its ".extended" companion: the exact layout written, every older
// version read, round trips through the table, and damaged or foreign files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
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
  params::AllParams catalogue{dir.path(), lib::posix_file_system()};
  std::vector<std::string> log;
  ParTabl table{catalogue, {[this](const std::string& m) { log.push_back(m); }, {}, nullptr}};

  static Param row(const RowFields& r) { return params_test::param_of(r); }
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

// Points that are numbers but cannot convert are no damage: the table loads, the row keeps
// them to be corrected and shows as not valid, and the log names the row and why.
TEST_F(ParamFileTest, PointsThatCannotConvertLoadAsTheyAreAndAreNamed) {
  FileBuilder f;
  f.header(4).row(kHook).row(kPressure).end_rows();
  f.calibration(0, {{0, 0}, {5, 100}}).calibration(1, {{1, 10}, {1, 20}}).end_calibration();
  ASSERT_TRUE(table.load_from_memory(f.db_set({}).bytes(), std::nullopt, "params.tbl"));
  EXPECT_EQ(table[1].points, (params::CalibrPoints{{1, 10}, {1, 20}}));
  EXPECT_TRUE(std::isnan(table[1].calc_value_by_voltage(1, 1, {})));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("'params.tbl': row 2 'давление_на_входе': the calibration is refused: "
                        "points 1 and 2 have the same x, 1"),
            std::string::npos)
      << log[0];
}

TEST_F(ParamFileTest, Version0FileInTheEightBitCodePageLoadsAndSavesAsVersion4) {
  RowFields hook = kHook;
  hook.module = 3;  // not carried by version 0
  FileBuilder old;
  old.row(hook).row(kPressure).row(kBlock).end_rows();
  old.calibration(1, {{0, 10}, {4, 90}});
  const std::string file = dir.file("old.bin");
  lib::write_file_atomically(file, old.bytes(), lib::posix_file_system());
  // Its companion is in the same code page.
  lib::write_file_atomically(file + ".extended",
                             ExtendedBuilder(false)
                                 .str("EXT_NBL_FILE")
                                 .i32(1)
                                 .entry("тальблок", {{"wits", "Тальблок по WITS"}})
                                 .bytes(),
                             lib::posix_file_system());

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

    EXPECT_TRUE(table.load_from_memory(f.bytes(), std::nullopt));
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
  // Not damage: the points of a row without identifier go with it, and a note says so.
  EXPECT_TRUE(table.load_from_memory(f.bytes(), std::nullopt));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("1 calibration entries belong to rows without identifier"),
            std::string::npos);
  ASSERT_EQ(table.get_items_count(), 2);
  EXPECT_EQ(table[0].points, (params::CalibrPoints{{0, 0}, {1, 1}}));
  EXPECT_EQ(table[1].identifier, "давление_на_входе");
  EXPECT_EQ(table[1].points, (params::CalibrPoints{{2, 20}}));
}

// --- Damaged and foreign files

using Status = params::ParTablLoad::Status;

TEST_F(ParamFileTest, LoadFallsBackToTheAlternativeFileOnlyWhenTheMainOneIsMissing) {
  int beeps = 0;
  ParTabl t(catalogue,
            {[this](const std::string& m) { log.push_back(m); }, [&] { ++beeps; }, nullptr});
  FileBuilder f;
  f.header(4).row(kHook).end_rows().end_calibration().db_set({});
  lib::write_file_atomically(dir.file("alt.bin"), f.bytes(), lib::posix_file_system());
  t.set_file_names(dir.file("main.bin"), dir.file("alt.bin"));
  EXPECT_TRUE(t.load());
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(t.get_items_count(), 1);
  t.set_file_names(dir.file("main.bin"), dir.file("нет.bin"));
  log.clear();
  EXPECT_EQ(t.load().status, Status::kCannotRead);
  EXPECT_EQ(t.get_items_count(), 1) << "a missing file leaves the table as it was";
  EXPECT_TRUE(log.empty());
  // save() writes the main file.
  EXPECT_TRUE(t.save());
  EXPECT_FALSE(testing_support::read_file(dir.file("main.bin")).empty());

  // A damaged main file is refused, not replaced by the alternative one.
  lib::write_file_atomically(dir.file("main.bin"), f.bytes().substr(0, 12),
                             lib::posix_file_system());
  t.set_file_names(dir.file("main.bin"), dir.file("alt.bin"));
  const auto result = t.load();
  EXPECT_EQ(result.status, Status::kDamaged);
  EXPECT_EQ(result.file, dir.file("main.bin"));
  EXPECT_NE(result.describe().find(dir.file("main.bin")), std::string::npos);
}

// Whatever the damage, the table keeps what it had: rows without their points, or points
// paired with other rows, would show wrong values as if sound.
class DamagedFileTest : public ParamFileTest {
 protected:
  void SetUp() override {
    table.add("нагрузка");
    table[0].points = {{1, 1}, {2, 4}};
    table.set_is_db_param("метан1", true);
  }
  // Loads the bytes and expects a refusal whose problems contain `what`.
  void expect_refused(std::string_view bytes, const std::string& what,
                      std::optional<std::string_view> extended = std::nullopt) {
    log.clear();
    const auto result = table.load_from_memory(bytes, extended, "params.tbl");
    EXPECT_EQ(result.status, Status::kDamaged);
    EXPECT_TRUE(table.load_refused());
    ASSERT_FALSE(result.problems.empty());
    std::string all;
    for (const auto& p : result.problems) all += p + "\n";
    EXPECT_NE(all.find(what), std::string::npos) << all;
    EXPECT_NE(result.describe().find("'params.tbl'"), std::string::npos);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("refused"), std::string::npos);
    ASSERT_EQ(table.get_items_count(), 1);
    EXPECT_EQ(table[0].identifier, "нагрузка");
    EXPECT_EQ(table[0].points, (params::CalibrPoints{{1, 1}, {2, 4}}));
    EXPECT_TRUE(table.is_db_param("метан1"));
  }
  static FileBuilder sound() {
    FileBuilder f;
    f.header(4).row(kHook).row(kPressure).row(kBlock).end_rows();
    f.calibration(0, {{0, 0}, {5, 100}}).calibration(1, {{1, 1}}).end_calibration();
    f.db_set({"сумм_гвл", "метан1"});
    return f;
  }
};

TEST_F(DamagedFileTest, EveryCutOfAFileIsRefused) {
  const std::string full = sound().bytes();
  expect_refused("", "the file is empty");
  for (std::size_t cut = 1; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    expect_refused(std::string_view(full).substr(0, cut), "");
  }
  // The whole file loads, and a later save is allowed again.
  EXPECT_TRUE(table.load_from_memory(full, std::nullopt));
  EXPECT_FALSE(table.load_refused());
  EXPECT_EQ(table.get_items_count(), 3);
}

TEST_F(DamagedFileTest, AbsurdCountsIndicesAndVersionsAreRefusedWithWhereAndWhat) {
  FileBuilder count;
  count.header(4).row(kHook).row(kPressure).end_rows();
  count.calibration(0, {{0, 0}, {5, 100}});
  count.i32(1).i32(0x10000000);  // far more points than the file holds
  expect_refused(count.bytes(), "calibration entry with 268435456 points does not fit");
  FileBuilder negative;
  negative.header(4).row(kHook).end_rows().i32(0).i32(-7);
  expect_refused(negative.bytes(), "-7 points does not fit the file at offset");

  for (int index : {7, -3}) {
    FileBuilder f;
    f.header(4).row(kHook).end_rows().calibration(index, {{1, 1}}).end_calibration().db_set({});
    expect_refused(f.bytes(), "names row record " + std::to_string(index) +
                                  ", but the file has 1 row records");
  }
  FileBuilder twice;
  twice.header(4).row(kHook).end_rows().calibration(0, {{1, 1}}).calibration(0, {{2, 2}});
  twice.end_calibration().db_set({});
  expect_refused(twice.bytes(), "row 1 'вес_на_крюке': a second calibration entry");

  for (int version : {5, -1, 0x7FFFFFFF}) {
    FileBuilder f;
    f.header(version).row(kPressure).end_rows();
    expect_refused(f.bytes(), "file version " + std::to_string(version) + " is not one");
  }
  FileBuilder db;
  db.header(4).row(kHook).end_rows().end_calibration().i32(1000000).raw_text("метан1");
  expect_refused(db.bytes(), "the database set announces 1000000 identifiers");

  FileBuilder many;
  many.header(4);
  for (int i = 0; i < params::kMaxParams + 3; ++i) {
    RowFields r = kHook;
    r.identifier = "p" + std::to_string(i);
    many.row(r);
  }
  many.end_rows().end_calibration().db_set({});
  expect_refused(many.bytes(), "more than 512 rows");
}

TEST_F(DamagedFileTest, NonFinitePointsAndConversionFieldsAreRefusedNamingTheRow) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  FileBuilder f;
  f.header(4).row(kHook).row(kPressure).end_rows();
  f.calibration(0, {{0, 0}, {5, 100}}).calibration(1, {{0, 0}, {nan, 1}, {3, -inf}});
  f.end_calibration().db_set({});
  expect_refused(f.bytes(), "row 2 'давление_на_входе': calibration point 2 of 3 has x = NaN");
  const auto read = params::param_file::read(f.bytes(), 512);
  ASSERT_EQ(read.problems.size(), 2u);  // each bad number is listed
  EXPECT_NE(read.problems[1].find("point 3 of 3 has y = -infinity"), std::string::npos);

  RowFields hook = kHook;
  hook.range = std::numeric_limits<float>::infinity();
  FileBuilder range;
  range.header(4).row(kPressure).row(hook).end_rows().end_calibration().db_set({});
  expect_refused(range.bytes(), "row 2 'вес_на_крюке' at offset");
}

TEST_F(DamagedFileTest, ADamagedOrForeignCompanionRefusesTheTable) {
  const std::string main = sound().bytes();
  const std::string ext = ExtendedBuilder()
                              .str("EXT_NBL_FILE")
                              .i32(2)
                              .entry("давление_на_входе", {{"wits", "1"}})
                              .entry("вес_на_крюке", {{"half_life", "30"}})
                              .bytes();
  expect_refused(main, ".extended companion: the file is empty", std::string_view());
  expect_refused(main, "does not start with the mark EXT_NBL_FILE",
                 ExtendedBuilder().str("OTHER_FILE").i32(0).bytes());
  expect_refused(main, "does not start with the mark", std::string_view("\x01", 1));
  for (std::size_t cut = 4; cut < ext.size(); ++cut) {
    SCOPED_TRACE(cut);
    expect_refused(main, ".extended companion:", std::string_view(ext).substr(0, cut));
  }
  EXPECT_TRUE(table.load_from_memory(main, ext));
  EXPECT_EQ(table["давление_на_входе"].ext_info.get("wits"), "1");
}

TEST_F(DamagedFileTest, ARefusedFileIsNeverWrittenOver) {
  const std::string file = dir.file("params.tbl");
  const std::string damaged = sound().bytes().substr(0, 60);
  lib::write_file_atomically(file, damaged, lib::posix_file_system());
  table.set_file_names(file, "");
  EXPECT_EQ(table.load().status, Status::kDamaged);
  log.clear();
  EXPECT_FALSE(table.save());
  EXPECT_EQ(testing_support::read_file(file), damaged);
  EXPECT_FALSE(std::filesystem::exists(file + ".extended"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("left for repair"), std::string::npos);
}

TEST_F(ParamFileTest, ExtendedEntriesFindRowsByIdentifier) {
  FileBuilder f;
  f.header(4).row(kHook).row(kPressure).end_rows().end_calibration().db_set({});
  const std::string ext = ExtendedBuilder()
                              .str("EXT_NBL_FILE")
                              .i32(3)
                              .entry("ДАВЛЕНИЕ_НА_ВХОДЕ", {{"wits", "1"}})
                              .entry("нет_такого", {{"wits", "2"}})
                              .entry("вес_на_крюке", {{"half_life", "30"}, {"radio_koeff", "1"}})
                              .bytes();
  EXPECT_TRUE(table.load_from_memory(f.bytes(), ext));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(table[1].ext_info.get("wits"), "1");
  EXPECT_EQ(table[0].ext_info.get("radio_koeff"), "1");
}

TEST_F(ParamFileTest, LoadingExtendedInformationAloneKeepsRowsItDoesNotName) {
  table.add(row(kHook));
  table.add(row(kPressure));
  table[0].ext_info.set("wits", "старое");
  table[1].ext_info.set("wits", "старое");
  const std::string file = dir.file("x.extended");
  lib::write_file_atomically(file,
                             ExtendedBuilder()
                                 .str("EXT_NBL_FILE")
                                 .i32(1)
                                 .entry("тальблок", {})
                                 .entry("давление_на_входе", {{"wits", "новое"}})
                                 .bytes(),
                             lib::posix_file_system());
  // The count says one entry, so the second is never read.
  table.load_extended_info(file, lib::StringEnc::kUtf8);
  EXPECT_EQ(table[0].ext_info.get("wits"), "старое");
  EXPECT_EQ(table[1].ext_info.get("wits"), "старое");
  lib::write_file_atomically(file,
                             ExtendedBuilder()
                                 .str("EXT_NBL_FILE")
                                 .i32(1)
                                 .entry("давление_на_входе", {{"wits", "новое"}})
                                 .bytes(),
                             lib::posix_file_system());
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
