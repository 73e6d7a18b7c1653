#include "journals/journal_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "journal_test_support.h"
#include "support/fakes.h"

using journal_tests::CollectedLog;
using journals::JournalFile;
using testing_support::FaultyFileSystem;
using testing_support::read_file;
using testing_support::TempDir;

namespace {

// A journal file in a temporary folder, through a file system that can fail on demand.
struct FileOnDisk {
  TempDir dir;
  CollectedLog log;
  FaultyFileSystem fs;
  JournalFile file{"Test", fs, log.sink()};
  std::string path = dir.file("j.dat");
};

}  // namespace

TEST(JournalFile, EachDamagedLoadKeepsItsOwnCopy) {
  FileOnDisk d;
  d.file.set_name(d.path);
  for (const char* damaged : {"first damage", "second damage", "third damage"}) {
    lib::write_file_atomically(d.path, damaged, lib::posix_file_system());
    d.file.report_damaged("load", "broken");
    EXPECT_TRUE(d.file.damaged());
    ASSERT_TRUE(d.file.replace("good", "save"));
    EXPECT_FALSE(d.file.damaged());
  }
  EXPECT_EQ(read_file(d.path), "good");
  EXPECT_EQ(read_file(d.path + ".damaged"), "first damage");
  EXPECT_EQ(read_file(d.path + ".damaged.1"), "second damage");
  EXPECT_EQ(read_file(d.path + ".damaged.2"), "third damage");
  EXPECT_TRUE(d.log.mentions("Test::save : повреждённый файл '" + d.path + "' сохранён как '" +
                             d.path + ".damaged.2'"));
}

TEST(JournalFile, UnreadableFileIsReportedAndNeverOverwritten) {
  FileOnDisk d;
  std::filesystem::create_directory(d.path);  // opens, but cannot be read as a file
  d.file.set_name(d.path);
  EXPECT_EQ(d.file.read("load"), std::nullopt);
  EXPECT_TRUE(d.log.mentions("Test::load : Ошибка чтения из файла '" + d.path + "'"));
  EXPECT_FALSE(d.file.replace("new", "save"));
  EXPECT_TRUE(std::filesystem::is_directory(d.path));
}

TEST(JournalFile, MissingFileAndNoNameAreSilent) {
  FileOnDisk d;
  EXPECT_EQ(d.file.read("load"), std::nullopt);
  EXPECT_FALSE(d.file.replace("x", "save"));
  d.file.set_name(d.dir.file("absent.dat"));
  EXPECT_EQ(d.file.read("load"), std::nullopt);
  EXPECT_FALSE(d.file.damaged());
  EXPECT_TRUE(d.log.lines.empty());
}

TEST(JournalFile, NamingAnotherFileForgetsTheDamage) {
  FileOnDisk d;
  d.file.set_name(d.path);
  lib::write_file_atomically(d.path, "bad", lib::posix_file_system());
  d.file.report_damaged("load", "broken");
  d.file.set_name(d.dir.file("b.dat"));
  EXPECT_FALSE(d.file.damaged());
  EXPECT_TRUE(d.file.replace("ok", "save"));
  EXPECT_FALSE(std::filesystem::exists(d.dir.file("b.dat.damaged")));
}

// `rigstation journal ... --file /dev/zero` must not read forever: the journal stops at
// its limit, says so naming the file and the limit, and will not overwrite that path.
TEST(JournalFile, AnEndlessInputIsRefusedAtTheJournalLimit) {
  CollectedLog log;
  testing_support::EndlessFileSystem endless;
  JournalFile file{"Test", endless, log.sink()};
  file.set_name("/dev/endless");
  EXPECT_FALSE(file.read("load"));
  EXPECT_EQ(endless.bytes_read, static_cast<long long>(journals::kMaxJournalFileBytes) + 1);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_TRUE(log.mentions("/dev/endless")) << log.lines[0];
  EXPECT_TRUE(log.mentions("64 MiB")) << log.lines[0];
  EXPECT_TRUE(file.damaged());
  EXPECT_FALSE(file.replace("new", "save"));
}

// A station checks its journal files every tick: a file that cannot be read is reported
// once, not once a second, until it changes.
TEST(JournalFile, AnUnreadableFileCountsAsSeenUntilItChanges) {
  FileOnDisk d;
  std::filesystem::create_directory(d.path);  // there, but no file to read
  d.file.set_name(d.path);
  EXPECT_TRUE(d.file.changed_on_disk());
  EXPECT_FALSE(d.file.read("load"));
  EXPECT_EQ(d.log.lines.size(), 1u);
  EXPECT_FALSE(d.file.changed_on_disk());
  std::filesystem::remove(d.path);
  lib::write_file_atomically(d.path, "now a file", lib::posix_file_system());
  EXPECT_TRUE(d.file.changed_on_disk());
  EXPECT_EQ(d.file.read("load"), "now a file");
  EXPECT_FALSE(d.file.changed_on_disk());
}
