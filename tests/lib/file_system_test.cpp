#include "lib/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

#include "lib/binary_stream.h"
#include "support/fakes.h"

using namespace lib;
using testing_support::FaultyFileSystem;
using testing_support::read_file;
using testing_support::TempDir;

namespace {

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(FileStatus, TellsFilesFromFoldersAndMissingPaths) {
  TempDir dir;
  FileSystem& fs = posix_file_system();
  write_file_atomically(dir.file("f"), "12345", fs);
  const auto file = fs.stat(dir.file("f"));
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->is_regular());
  EXPECT_EQ(file->size, 5);
  EXPECT_GT(file->modified_ns, 0);
  const auto folder = fs.stat(dir.path());
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->is_folder());
  errno = 0;
  EXPECT_FALSE(fs.stat(dir.file("none")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(exists(fs, dir.file("f")));
  EXPECT_FALSE(is_folder(fs, dir.file("f")));
  EXPECT_TRUE(is_folder(fs, dir.path()));
  EXPECT_FALSE(exists(fs, dir.file("none")));
}

TEST(FileStatus, AnInjectedFaultHidesThePath) {
  TempDir dir;
  FaultyFileSystem fs;
  fs.stat_errno = EACCES;
  errno = 0;
  EXPECT_FALSE(fs.stat(dir.path()));
  EXPECT_EQ(errno, EACCES);
  EXPECT_FALSE(is_folder(fs, dir.path()));
  EXPECT_FALSE(missing(fs, dir.path()));
  fs.stat_errno = ENOENT;
  EXPECT_TRUE(missing(fs, dir.path()));
}

TEST(MakeDirs, CreatesEveryMissingParentThroughTheSeam) {
  TempDir dir;
  FaultyFileSystem fs;
  ASSERT_TRUE(make_dirs(fs, dir.file("a/b/c/")));
  EXPECT_TRUE(is_folder(fs, dir.file("a/b/c")));
  EXPECT_EQ(fs.made_folders,
            (std::vector<std::string>{dir.file("a"), dir.file("a/b"), dir.file("a/b/c")}));
  // Already there: nothing more to make.
  ASSERT_TRUE(make_dirs(fs, dir.file("a/b")));
  EXPECT_EQ(fs.made_folders.size(), 3u);
}

TEST(MakeDirs, ReportsTheErrorOfTheFolderThatCannotBeMade) {
  TempDir dir;
  FaultyFileSystem fs;
  fs.mkdir_errno = EACCES;
  // A name no temporary folder's path holds, so only that level is refused.
  fs.only_paths_with = "/refused-level";
  errno = 0;
  EXPECT_FALSE(make_dirs(fs, dir.file("a/refused-level/c")));
  EXPECT_EQ(errno, EACCES);
  EXPECT_TRUE(is_folder(fs, dir.file("a")));
  EXPECT_FALSE(exists(fs, dir.file("a/refused-level")));
}

TEST(MakeDirs, AFileInTheWayIsNoFolder) {
  TempDir dir;
  FileSystem& fs = posix_file_system();
  write_file_atomically(dir.file("f"), "x", fs);
  errno = 0;
  EXPECT_FALSE(make_dirs(fs, dir.file("f")));
  EXPECT_EQ(errno, ENOTDIR);
  errno = 0;
  EXPECT_FALSE(make_dirs(fs, dir.file("f/sub")));
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_EQ(read_file(dir.file("f")), "x");
}

TEST(AtomicWrite, SyncsTheFolderAfterTheRenameUnlessToldNotTo) {
  TempDir dir;
  FaultyFileSystem fs;
  write_file_atomically(dir.file("f"), "new", fs);
  EXPECT_TRUE(contains(fs.synced_folders, dir.path().substr(0, dir.path().size() - 1)));
  fs.synced_folders.clear();
  write_file_atomically(dir.file("f"), "newer", fs, /*sync_to_disk=*/false);
  EXPECT_TRUE(fs.synced_folders.empty());
  EXPECT_EQ(read_file(dir.file("f")), "newer");
}

TEST(AtomicWrite, AFolderThatCannotBeSyncedIsReportedWithTheNewFileInPlace) {
  TempDir dir;
  FaultyFileSystem fs;
  write_file_atomically(dir.file("f"), "old", fs);
  fs.sync_folder_errno = EIO;
  try {
    write_file_atomically(dir.file("f"), "new", fs);
    FAIL() << "the failed folder sync was not reported";
  } catch (const io::StreamError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find(dir.file("f")), std::string::npos) << what;
    EXPECT_NE(what.find(errno_text(EIO)), std::string::npos) << what;
  }
  EXPECT_EQ(read_file(dir.file("f")), "new");
  EXPECT_EQ(fs.list_folder(dir.path()), std::vector<std::string>{"f"});
}

TEST(FolderListing, AFolderThatCannotBeReadListsNothing) {
  TempDir dir;
  FaultyFileSystem fs;
  write_file_atomically(dir.file("f.tmp123"), "x", fs);
  fs.list_folder_errno = EACCES;
  EXPECT_TRUE(fs.list_folder(dir.path()).empty());
  EXPECT_TRUE(remove_atomic_leftovers(dir.file("f"), fs).empty());
  EXPECT_TRUE(exists(fs, dir.file("f.tmp123")));
}

// Each kind of change is seen once, then the watch is quiet again; once the folder is gone
// every look is a change.
TEST(FolderWatch, SeesEachChangeOnceAndGoesBlindWithItsFolder) {
  TempDir dir;
  const std::string folder = dir.path() + "watched/";
  auto& fs = posix_file_system();
  EXPECT_EQ(fs.watch_folder(folder), nullptr);
  make_dirs(fs, folder);
  write_file_atomically(folder + "a", "1", fs);
  const auto watch = fs.watch_folder(folder);
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->changed());
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"appended", [&] { std::ofstream(folder + "a", std::ios::app) << "2"; }},
      {"replaced", [&] { write_file_atomically(folder + "a", "3", fs); }},
      {"created", [&] { std::ofstream(folder + "b") << "x"; }},
      {"removed", [&] { std::filesystem::remove(folder + "b"); }},
      {"beside it", [&] { std::ofstream(dir.file("other")) << "x"; }},
  };
  for (const auto& [what, change] : changes) {
    change();
    EXPECT_EQ(watch->changed(), std::string(what) != "beside it") << what;
    EXPECT_FALSE(watch->changed()) << what;
  }
  std::filesystem::remove_all(folder);
  EXPECT_TRUE(watch->changed());
  EXPECT_TRUE(watch->changed());
}

}  // namespace
