#include "journals/text_storage.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "journal_test_support.h"
#include "journals/remarks_file.h"
#include "lib/str_enc.h"
#include "support/fakes.h"

using namespace text;
using journal_tests::CollectedLog;
using testing_support::FaultyFileSystem;
using testing_support::TempDir;

namespace {

Record remark(std::uint32_t time, std::int32_t kind, std::string text, std::int32_t size,
              std::uint32_t colour, std::int32_t number, std::string extra = "") {
  Record r;
  r.time = time;
  r.kind = kind;
  r.text = std::move(text);
  r.size = size;
  r.colour = colour;
  r.number = number;
  r.extra = std::move(extra);
  return r;
}

Record sample_remark(int seed) {
  return remark(1700000000u + static_cast<std::uint32_t>(seed) * 60, seed % 3,
                "Промывка \"до чистой воды\", C:\\dir\\n\tотбор шлама\nвторая строка №" +
                    std::to_string(seed),
                10 + seed, 0x00FF8000u + static_cast<std::uint32_t>(seed), 5 * seed,
                seed % 2 ? "метка" : "две части, \"в кавычках\"  и пробелы ");
}

// Remarks kept in a file of a temporary folder, through a file system that can fail on demand.
struct RemarksOnDisk {
  TempDir dir;
  CollectedLog log;
  FaultyFileSystem fs;
  lib::lock_object file_lock;
  Storage storage{file_lock, log.sink(), fs};
  std::string path = dir.file("remarks.txt");
  RemarksOnDisk() { storage.set_file_name(path); }
  void write(std::string_view bytes) {
    lib::write_file_atomically(path, bytes, lib::posix_file_system());
  }
};

}  // namespace

TEST(RemarksFile, EveryFieldSurvivesSaveAndLoad) {
  RemarksOnDisk disk;
  for (int i = 1; i <= 4; ++i) disk.storage.add_record(sample_remark(i));
  ASSERT_TRUE(disk.storage.save_to_file());

  lib::lock_object other_lock;
  Storage other(other_lock, {}, lib::posix_file_system());
  other.set_file_name(disk.path);
  ASSERT_TRUE(other.load_from_file());
  EXPECT_EQ(other.records(), disk.storage.records());  // every saved field compares
  EXPECT_TRUE(disk.log.lines.empty());
}

TEST(RemarksFile, WrittenFileHasTheHeaderLinesAndOneLinePerRemark) {
  Record plain;  // the default size and colour
  plain.time = 5;
  EXPECT_EQ(write_remarks_file({remark(1700000123u, 2, "Долив", 12, 255, 4, "x"), plain}),
            "encoding=utf8\n"
            "version=2\n"
            "0.00 0.00 1700000123 2 \"Долив\" 0 0 12 255 4 x\n"
            "0.00 0.00 5 0 \"\" 0 0 9 16777215 0\n");
}

TEST(RemarksFile, OlderLayoutWithSizeZeroGetsSizeNineAndWhite) {
  // Older stations: no header, CP1251 text, nine items ending with the number.
  RemarksOnDisk disk;
  disk.write(
      lib::utf8_to_cp1251("0.00 0.00 1600000000 1 \"Начало рейса\" 0 0 0 17\r\n"
                          "0.00 0.00 1600000060 0 \"Конец\" 0 0 14 -3\r\n"));
  ASSERT_TRUE(disk.storage.load_from_file());
  // A negative number reads as 0.
  EXPECT_EQ(disk.storage.records(),
            (std::vector<Record>{remark(1600000000, 1, "Начало рейса", 9, 0xFFFFFF, 17),
                                 remark(1600000060, 0, "Конец", 14, 0xFFFFFF, 0)}));
  EXPECT_TRUE(disk.log.lines.empty());
}

TEST(RemarksFile, TextBeforeTheEncodingLineIsCp1251AndAfterItOrAByteOrderMarkUtf8) {
  std::string bytes = lib::utf8_to_cp1251("0.00 0.00 1 0 \"Первая\" 0 0 9 0 0\n");
  bytes += "encoding=utf8\nversion=2\n0.00 0.00 2 0 \"Вторая\" 0 0 9 0 0\n";
  const RemarksFileContent content = read_remarks_file(bytes);
  EXPECT_TRUE(content.utf8);
  EXPECT_EQ(content.version, 2);
  ASSERT_EQ(content.records.size(), 2u);
  EXPECT_EQ(content.records[0].text, "Первая");
  EXPECT_EQ(content.records[1].text, "Вторая");
  EXPECT_TRUE(content.problems.empty());

  // So does a byte order mark.
  const auto marked = read_remarks_file(
      "\xEF\xBB\xBF"
      "0.00 0.00 1 0 \"Ёлка\" 0 0 9 0 0\n");
  ASSERT_EQ(marked.records.size(), 1u);
  EXPECT_EQ(marked.records[0].text, "Ёлка");
}

TEST(RemarksFile, ColourAndNumbersOutOfRangeAreTamed) {
  const auto content = read_remarks_file(
      "encoding=utf8\n"
      "0.00 0.00 4294967295 99999999999 \"a\" 0 0 -5 -16777201 99999999999 e  f\n"
      "0.00 0.00 7 1 \"b\" 0 0 abc 99999999999 -8\n");
  // A negative colour is kept bit for bit; the extra items are joined by one blank.
  EXPECT_EQ(
      content.records,
      (std::vector<Record>{remark(4294967295u, INT32_MAX, "a", 9, 0xFF00000Fu, INT32_MAX, "e f"),
                           remark(7, 1, "b", 9, 0xFFFFFF, 0)}));
}

TEST(RemarksFile, DamagedLinesAreSkippedAndNamedTheRestIsKept) {
  RemarksOnDisk disk;
  disk.write(
      "encoding=utf8\n"
      "version=2\n"
      "0.00 0.00 100 0 \"хорошая\" 0 0 9 0 0\n"
      "0.00 0.00 200 0 \"без конца 0 0 9 0 0\n"
      "0.00 0.00 300 0\n"
      "0.00 0.00 вчера 0 \"время\" 0 0 9 0 0\n"
      "\n"
      "0.00 0.00 4294967296 0 \"слишком\" 0 0 9 0 0\n"
      "0.00 0.00 500 0 \"тоже хорошая\" 0 0 9 0 0\n");
  EXPECT_TRUE(disk.storage.load_from_file());
  ASSERT_EQ(disk.storage.size(), 2);
  EXPECT_EQ(disk.storage[0].time, 100u);
  EXPECT_EQ(disk.storage[1].time, 500u);
  ASSERT_EQ(disk.log.lines.size(), 1u);
  const std::string& line = disk.log.lines[0];
  EXPECT_NE(line.find("text::Storage::load_from_file"), std::string::npos);
  EXPECT_NE(line.find(disk.path), std::string::npos);
  EXPECT_NE(line.find("line 4: the quoted text never closes"), std::string::npos);
  EXPECT_NE(line.find("line 5: only 4 items"), std::string::npos);
  EXPECT_NE(line.find("line 6: time 'вчера'"), std::string::npos);
  EXPECT_NE(line.find("line 8: time '4294967296'"), std::string::npos);
}

TEST(RemarksFile, FileWithNoUsableLineLeavesTheRemarksAsTheyWere) {
  RemarksOnDisk disk;
  disk.storage.add_record(sample_remark(1));
  disk.write(std::string("\x00\x01\x02 garbage\n\x89PNG\r\n", 18));
  EXPECT_FALSE(disk.storage.load_from_file());
  ASSERT_EQ(disk.storage.size(), 1);
  EXPECT_EQ(disk.storage[0], sample_remark(1));
  EXPECT_TRUE(disk.log.mentions(disk.path));

  // Saving now keeps the unreadable file beside the new one.
  const std::string damaged = testing_support::read_file(disk.path);
  ASSERT_TRUE(disk.storage.save_to_file());
  EXPECT_EQ(testing_support::read_file(disk.path + ".damaged"), damaged);
}

TEST(RemarksFile, FileWithOnlyHeaderLinesEmptiesTheStorage) {
  RemarksOnDisk disk;
  disk.storage.add_record(sample_remark(1));
  disk.write("encoding=utf8\nversion=2\n");
  EXPECT_TRUE(disk.storage.load_from_file());
  EXPECT_EQ(disk.storage.size(), 0);
  EXPECT_TRUE(disk.log.lines.empty());
}

TEST(RemarksFile, ReloadOnlyWhenTheFileChanged) {
  RemarksOnDisk disk;
  disk.storage.add_record(sample_remark(1));
  ASSERT_TRUE(disk.storage.save_to_file());
  EXPECT_FALSE(disk.storage.check_file_changes());  // our own save is no change

  // Another program rewrites the file.
  disk.write(write_remarks_file({sample_remark(2), sample_remark(3)}));
  journal_tests::touch_later(disk.path, 2);
  EXPECT_TRUE(disk.storage.check_file_changes());
  ASSERT_EQ(disk.storage.size(), 2);
  EXPECT_EQ(disk.storage[0], sample_remark(2));

  EXPECT_FALSE(disk.storage.check_file_changes());  // untouched since the reload
  EXPECT_EQ(disk.storage.size(), 2);

  // A size change within the same time stamp is still seen.
  const auto before = std::filesystem::last_write_time(disk.path);
  disk.write(write_remarks_file({sample_remark(2), sample_remark(3), sample_remark(4)}));
  std::filesystem::last_write_time(disk.path, before);
  EXPECT_TRUE(disk.storage.check_file_changes());
  EXPECT_EQ(disk.storage.size(), 3);

  // A file that has gone is no change either: the remarks stay.
  std::filesystem::remove(disk.path);
  EXPECT_FALSE(disk.storage.check_file_changes());
  EXPECT_EQ(disk.storage.size(), 3);
}

TEST(RemarksFile, SaveWaitsForTheFileLock) {
  RemarksOnDisk disk;
  disk.storage.add_record(sample_remark(1));
  disk.file_lock.lock();
  auto saved = std::async(std::launch::async, [&] { return disk.storage.save_to_file(); });
  EXPECT_EQ(saved.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  EXPECT_FALSE(std::filesystem::exists(disk.path));
  disk.file_lock.unlock();
  EXPECT_TRUE(saved.get());
  EXPECT_TRUE(std::filesystem::exists(disk.path));
}

TEST(RemarksStorage, FindDeleteAndDrawingState) {
  lib::lock_object lock;
  Storage storage(lock, {}, lib::posix_file_system());
  for (int i = 1; i <= 3; ++i) {
    Record r = sample_remark(i);
    r.row = i;
    storage.add_record(r);
  }
  EXPECT_EQ(storage.find_by_tyme(sample_remark(2).time), 1);
  EXPECT_EQ(storage.find_by_tyme(12345), -1);

  storage.delete_record(1);
  EXPECT_EQ(storage.size(), 2);
  EXPECT_EQ(storage.find_by_tyme(sample_remark(2).time), -1);
  const std::vector<DeletedRecord> expected_deleted = {{sample_remark(2).time, 2}};
  EXPECT_EQ(storage.get_deleted_records(), expected_deleted);
  EXPECT_TRUE(storage.get_deleted_records().empty());  // handed over once

  storage.clear_indexes();
  EXPECT_EQ(storage[0].row, -1);
  EXPECT_EQ(storage[1].row, -1);

  Record changed = sample_remark(9);
  storage.set_item(1, changed);
  EXPECT_EQ(storage[1], changed);
  EXPECT_THROW(storage[2], std::out_of_range);
  EXPECT_THROW(storage.set_item(-1, changed), std::out_of_range);
  EXPECT_THROW(storage.delete_record(5), std::out_of_range);
  EXPECT_TRUE(storage.get_deleted_records().empty());
}

TEST(RemarksStorage, ShortTextIsTheFirstLineCutAtWholeCharacters) {
  Record r;
  r.text = "Прихват инструмента\nподробности";
  EXPECT_EQ(r.get_short_text(7), "Прихват…");
  EXPECT_EQ(r.get_short_text(100), "Прихват инструмента…");
  r.text = "Кратко";
  EXPECT_EQ(r.get_short_text(6), "Кратко");
  EXPECT_EQ(r.get_short_text(5), "Кратк…");
}

TEST(RemarksStorage, RemarksSurviveTheStateFileUnderTheirModuleName) {
  lib::lock_object lock;
  Storage a(lock, {}, lib::posix_file_system()), b(lock, {}, lib::posix_file_system());
  a.add_record(sample_remark(1));
  a.add_record(sample_remark(2));
  b.add_record(sample_remark(5));
  EXPECT_EQ(journal_tests::state_round_trip(a, b, Storage::kModuleName).read, 1);
  EXPECT_EQ(b.records(), a.records());
  std::string name;
  a.get_serial_name(name);
  EXPECT_EQ(name, "text::Storage");
}
