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

TEST(JournalFile, EachDamagedLoadKeepsItsOwnCopy) {
  TempDir dir;
  CollectedLog log;
  JournalFile file("Test", lib::posix_file_system(), log.sink());
  const std::string path = dir.file("j.dat");
  file.set_name(path);

  const char* contents[] = {"first damage", "second damage", "third damage"};
  for (const char* damaged : contents) {
    lib::write_file_atomically(path, damaged);
    file.report_damaged("load", "broken");
    EXPECT_TRUE(file.damaged());
    ASSERT_TRUE(file.replace("good", "save"));
    EXPECT_FALSE(file.damaged());
  }
  EXPECT_EQ(read_file(path), "good");
  EXPECT_EQ(read_file(path + ".damaged"), "first damage");
  EXPECT_EQ(read_file(path + ".damaged.1"), "second damage");
  EXPECT_EQ(read_file(path + ".damaged.2"), "third damage");
  EXPECT_TRUE(log.mentions("Test::save : повреждённый файл '" + path + "' сохранён как '" + path +
                           ".damaged.2'"));
}

TEST(JournalFile, SaveIsRefusedWhenTheDamagedFileCannotBeKept) {
  TempDir dir;
  CollectedLog log;
  FaultyFileSystem fs;
  fs.only_paths_with = ".damaged";
  fs.fail_rename = true;
  JournalFile file("Test", fs, log.sink());
  const std::string path = dir.file("j.dat");
  lib::write_file_atomically(path, "damaged bytes");
  file.set_name(path);
  file.report_damaged("load", "broken");

  EXPECT_FALSE(file.replace("new", "save"));
  EXPECT_EQ(read_file(path), "damaged bytes");
  EXPECT_TRUE(file.damaged());
  EXPECT_TRUE(log.mentions("файл не перезаписан"));

  fs.fail_rename = false;
  EXPECT_TRUE(file.replace("new", "save"));
  EXPECT_EQ(read_file(path + ".damaged"), "damaged bytes");
}

TEST(JournalFile, UnreadableFileIsReportedAndNeverOverwritten) {
  TempDir dir;
  CollectedLog log;
  JournalFile file("Test", lib::posix_file_system(), log.sink());
  const std::string path = dir.file("j.dat");
  std::filesystem::create_directory(path);  // opens, but cannot be read as a file
  file.set_name(path);

  EXPECT_EQ(file.read("load"), std::nullopt);
  EXPECT_TRUE(log.mentions("Test::load : Ошибка чтения из файла '" + path + "'"));
  EXPECT_FALSE(file.replace("new", "save"));
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(JournalFile, MissingFileAndNoNameAreSilent) {
  TempDir dir;
  CollectedLog log;
  JournalFile file("Test", lib::posix_file_system(), log.sink());
  EXPECT_EQ(file.read("load"), std::nullopt);
  EXPECT_FALSE(file.replace("x", "save"));
  file.set_name(dir.file("absent.dat"));
  EXPECT_EQ(file.read("load"), std::nullopt);
  EXPECT_FALSE(file.damaged());
  EXPECT_TRUE(log.lines.empty());
}

TEST(JournalFile, NamingAnotherFileForgetsTheDamage) {
  TempDir dir;
  JournalFile file("Test", lib::posix_file_system(), {});
  file.set_name(dir.file("a.dat"));
  lib::write_file_atomically(dir.file("a.dat"), "bad");
  file.report_damaged("load", "broken");
  file.set_name(dir.file("b.dat"));
  EXPECT_FALSE(file.damaged());
  EXPECT_TRUE(file.replace("ok", "save"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.dat.damaged")));
}
